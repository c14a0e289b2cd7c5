// lmvpack try, registered on the application as every command is (cli/commands.h says how,
// and what its exit statuses mean, 3 and 130 among them). Linux only: Wine and Xvfb
// run the trial.
#pragma once

#include <CLI/CLI.hpp>

void AddTryCommand(CLI::App& app, int& exit_status);
