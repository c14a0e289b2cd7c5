// Each lmvpack command lives in a file of its own and registers itself on the application.
// A command's callback stores its exit status in `exit_status`:
//   0 success, 1 the input is not a readable installer or verification failed,
//   2 bad manifest or bad usage.
#pragma once

#include <CLI/CLI.hpp>

void AddBuildCommand(CLI::App& app, int& exit_status);
void AddInitCommand(CLI::App& app, int& exit_status);
void AddListCommand(CLI::App& app, int& exit_status);
void AddInfoCommand(CLI::App& app, int& exit_status);
void AddExtractCommand(CLI::App& app, int& exit_status);
void AddVerifyCommand(CLI::App& app, int& exit_status);
void AddPreviewCommand(CLI::App& app, int& exit_status);
void AddCodecCommands(CLI::App& app, int& exit_status); // encode, decode
void AddWingetCommand(CLI::App& app, int& exit_status);
#ifndef _WIN32
// These hand their work to programs of a Linux system (osslsigncode; Wine and Xvfb).
void AddSignCommand(CLI::App& app, int& exit_status);
void AddTryCommand(CLI::App& app, int& exit_status);
#endif
