// The build command's options: from the command line and, with --project,
// from an INI project file, turned into a package description.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "pack/package_writer.h"

// Option values by name without the leading "--" ("stub", "disk-size");
// flags hold "1". Files named on the command line are kept in order.
struct TBuildOptions {
  std::map<std::string, std::string> Values;
  std::vector<std::string> Files;
};

// What an option of a command is: one that takes a value, one that may be
// given more than once (its values are kept in order, joined by "\n"), a
// flag, or none the command knows.
enum class TOptionKind { kUnknown, kValue, kRepeated, kFlag };

// The one reader of every command's options: "--name value", "--name=value"
// and flags ("--flag", "--flag=0", "--flag=1"; a flag holds "1" or its
// value) into `values` by name without "--". An argument that is not an
// option goes to `positional`, or is an error where that is null. Returns an
// error text.
std::string ParseOptionArgs(const std::vector<std::string>& args,
                            const std::function<TOptionKind(const std::string&)>& kindOf,
                            std::map<std::string, std::string>& values,
                            std::vector<std::string>* positional);

// Reads `args` (after the command name). A value given on the command line
// wins over the project file's. Returns an error text.
std::string ParseBuildOptions(const std::vector<std::string>& args, TBuildOptions& options);

// Reads the [Package] section of a project file; relative paths in it count
// from the project file's folder. Returns an error text.
std::string ReadProjectFile(const std::string& path, TBuildOptions& options);

// Language texts: one "[Language]" line per section, then "id=text" lines;
// blank lines and lines starting with ";" are skipped. Returns an error text.
std::string ReadLangFile(const std::string& path, std::vector<TLangSection>& sections);

// "1234", "64K", "1440K", "650M": bytes (K and M are 1024 and 1024 * 1024).
bool ParseByteSize(const std::string& text, int64_t& bytes);

// The package description the options ask for. Returns an error text.
std::string DescribePackage(const TBuildOptions& options, TPackageDescription& description);

// Usage text of the whole program.
const char* UsageText();
