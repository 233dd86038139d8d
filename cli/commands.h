// The subcommands of the `ravelin` command line.

#ifndef RAVELIN_CLI_COMMANDS_H_
#define RAVELIN_CLI_COMMANDS_H_

#include <CLI/CLI.hpp>

namespace ravelin {

// Each adds its subcommand to `app`; the subcommand's callback stores the
// process exit code in `exitCode`.
void AddInfoCommand(CLI::App& app, int& exitCode);
void AddPageCommand(CLI::App& app, int& exitCode);
void AddSchemaCommand(CLI::App& app, int& exitCode);
void AddRowsCommand(CLI::App& app, int& exitCode);
void AddScanCommand(CLI::App& app, int& exitCode);
void AddDefinitionCommand(CLI::App& app, int& exitCode);
void AddShowCommand(CLI::App& app, int& exitCode);
void AddExportCommand(CLI::App& app, int& exitCode);

}  // namespace ravelin

#endif  // RAVELIN_CLI_COMMANDS_H_
