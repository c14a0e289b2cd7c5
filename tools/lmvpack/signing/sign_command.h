// lmvpack sign, registered on the application as every command is (cli/commands.h says how,
// and what its exit statuses mean). Linux only: osslsigncode does the signing.
#pragma once

#include <CLI/CLI.hpp>

void AddSignCommand(CLI::App& app, int& exit_status);
