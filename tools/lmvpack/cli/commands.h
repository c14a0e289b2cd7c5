// Each lmvpack command lives in a file of its own and registers itself on the application.
// A command's callback stores its exit status in `exit_status`:
//   0   success;
//   1   the input is not a readable installer (or member stream), verification failed, or
//       (try) the installer tried did not end with 0, or its removal left something;
//   2   bad manifest or bad usage;
//   3   (try) this machine cannot run a trial: Wine, Xvfb or the GUI driver is missing, or
//       the trial could not run;
//   130 (try) the trial was stopped by Ctrl-C, SIGTERM or SIGHUP.
// main answers 2 itself for arguments the parser refuses, and 3 when the system refuses
// memory, a thread or a pipe, which no command reports.
// The commands of the Linux-only rooms register themselves the same way, each declared in its
// own room (signing/sign_command.h, trial/try_command.h), so that nothing outside cli/ needs
// this file.
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
