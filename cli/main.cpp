// ravelin: reads damaged SQL Server data files without a server.

#include <CLI/CLI.hpp>

#include "cli/commands.h"

int main(int argc, char** argv) {
  CLI::App app{"Velmora Ravelin: recovers tables, rows and definitions from damaged SQL Server data files"};
  app.require_subcommand(1);
  int exitCode = 0;
  ravelin::AddInfoCommand(app, exitCode);
  ravelin::AddPageCommand(app, exitCode);
  ravelin::AddSchemaCommand(app, exitCode);
  ravelin::AddRowsCommand(app, exitCode);
  ravelin::AddScanCommand(app, exitCode);
  ravelin::AddDefinitionCommand(app, exitCode);
  ravelin::AddShowCommand(app, exitCode);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  return exitCode;
}
