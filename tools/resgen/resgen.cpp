// resgen: the resource compiler. Turns the manifest of custom resources, the
// string table and the project version into one C++ source holding the
// program's resource table (resources/resource_table.h), plus a dependency
// file so the build re-runs it when any of its inputs changes.
//
//   resgen --manifest resources.list --strings strings.txt --version 1.0.0.0
//          --output resources.cpp --depfile resources.cpp.d
//
// Any problem in the inputs fails the build with "file:line: error: ...".
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "resources/resource_image.h"
#include "resources/resource_source.h"
#include "resources/resource_table.h"

namespace {

namespace fs = std::filesystem;

struct Options {
  fs::path manifest;
  fs::path strings;
  fs::path output;
  fs::path depfile;
  resources::FileVersion version;
};

struct Resource {
  std::string type_name;
  uint16_t type_number = 0;
  uint16_t id = 0;
  std::string origin;  // for the comment in the generated source
  std::vector<uint8_t> data;
};

void Fail(const std::string& message) { std::fprintf(stderr, "resgen: error: %s\n", message.c_str()); }

void Report(const fs::path& file, const std::vector<resources::SourceError>& errors) {
  for (const auto& error : errors) {
    std::fprintf(stderr, "%s:%zu: error: %s\n", file.string().c_str(), error.line, error.message.c_str());
  }
}

std::optional<std::string> ReadFile(const fs::path& path, std::string& problem) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    problem = std::strerror(errno);
    return std::nullopt;
  }
  std::string content;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, n);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    problem = "read error";
    return std::nullopt;
  }
  return content;
}

bool ParseOptions(int argc, char** argv, Options& options) {
  std::string version;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (i + 1 >= argc) {
      Fail("option " + std::string(arg) + " needs a value");
      return false;
    }
    const char* value = argv[++i];
    if (arg == "--manifest") {
      options.manifest = value;
    } else if (arg == "--strings") {
      options.strings = value;
    } else if (arg == "--output") {
      options.output = value;
    } else if (arg == "--depfile") {
      options.depfile = value;
    } else if (arg == "--version") {
      version = value;
    } else {
      Fail("unknown option " + std::string(arg));
      return false;
    }
  }
  if (options.manifest.empty() || options.strings.empty() || options.output.empty() || version.empty()) {
    Fail("usage: resgen --manifest FILE --strings FILE --version X.Y.Z[.W] --output FILE [--depfile FILE]");
    return false;
  }
  if (!resources::ParseVersion(version, options.version)) {
    Fail("version \"" + version + "\" is not X.Y.Z or X.Y.Z.W with parts 0..65535");
    return false;
  }
  return true;
}

// The custom resources of the manifest with their file contents; false after
// reporting every problem.
bool LoadManifest(const Options& options, std::vector<Resource>& out, std::vector<fs::path>& inputs) {
  std::string problem;
  const auto text = ReadFile(options.manifest, problem);
  if (!text) {
    Fail("cannot read " + options.manifest.string() + ": " + problem);
    return false;
  }
  std::vector<resources::SourceError> errors;
  const auto entries = resources::ParseManifest(*text, errors);
  const fs::path folder = options.manifest.parent_path();
  for (const auto& entry : entries) {
    const fs::path path = folder / entry.file;
    inputs.push_back(path);
    const auto content = ReadFile(path, problem);
    if (!content) {
      errors.push_back({entry.line, "cannot read \"" + path.string() + "\": " + problem});
      continue;
    }
    // Readers treat a resource of size 0 as a failed load, so an empty file
    // could only ever ship as a fault.
    if (content->empty()) {
      errors.push_back({entry.line, "\"" + path.string() + "\" is empty"});
      continue;
    }
    if (content->size() > UINT32_MAX) {
      errors.push_back({entry.line, "\"" + path.string() + "\" is larger than 4 GiB"});
      continue;
    }
    Resource resource;
    resource.type_name = entry.type_name;
    resource.type_number = entry.type_number;
    resource.id = entry.id;
    resource.origin = entry.file;
    resource.data.assign(content->begin(), content->end());
    out.push_back(std::move(resource));
  }
  std::stable_sort(errors.begin(), errors.end(), [](const auto& a, const auto& b) { return a.line < b.line; });
  Report(options.manifest, errors);
  return errors.empty();
}

bool LoadStrings(const Options& options, std::vector<Resource>& out) {
  std::string problem;
  const auto text = ReadFile(options.strings, problem);
  if (!text) {
    Fail("cannot read " + options.strings.string() + ": " + problem);
    return false;
  }
  std::vector<resources::SourceError> errors;
  const auto strings = resources::ParseStringTable(*text, errors);
  Report(options.strings, errors);
  if (!errors.empty()) return false;
  for (auto& [block, image] : resources::BuildStringTableBlocks(strings)) {
    Resource resource;
    resource.type_number = resources::kTypeString;
    resource.id = block;
    resource.origin = "strings " + std::to_string((block - 1) * 16) + ".." + std::to_string((block - 1) * 16 + 15);
    resource.data = std::move(image);
    out.push_back(std::move(resource));
  }
  return true;
}

std::string CString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out + "\"";
}

std::string Generate(const std::vector<Resource>& resources) {
  std::string out =
      "// Generated by resgen from resources/resources.list, resources/strings.txt\n"
      "// and the project version. Do not edit: change the sources and rebuild.\n"
      "#include <iterator>\n\n"
      "#include \"resources/resource_table.h\"\n\n"
      "namespace resources {\nnamespace {\n\n";
  char hex[8];
  for (size_t i = 0; i < resources.size(); ++i) {
    const Resource& r = resources[i];
    // Origins come from the manifest; keep a stray line break out of the comment.
    std::string origin = r.origin;
    for (char& c : origin) c = (c == '\n' || c == '\r') ? ' ' : c;
    out += "// " + (r.type_name.empty() ? std::to_string(r.type_number) : r.type_name) + " " +
           std::to_string(r.id) + ": " + origin + ", " + std::to_string(r.data.size()) + " bytes\n";
    out += "alignas(4) const unsigned char kData" + std::to_string(i) + "[] = {";
    for (size_t j = 0; j < r.data.size(); ++j) {
      if (j % 16 == 0) out += "\n   ";
      std::snprintf(hex, sizeof hex, " 0x%02x,", r.data[j]);
      out += hex;
    }
    out += "\n};\n\n";
  }
  if (resources.empty()) {
    out += "}  // namespace\n\nconst ResourceTable kProgramResources = {nullptr, 0};\n\n}  // namespace resources\n";
    return out;
  }
  out += "const ResourceEntry kEntries[] = {\n";
  for (size_t i = 0; i < resources.size(); ++i) {
    const Resource& r = resources[i];
    const std::string data = "kData" + std::to_string(i);
    out += "    {" + (r.type_name.empty() ? std::string("nullptr") : CString(r.type_name)) + ", " +
           std::to_string(r.type_number) + ", " + std::to_string(r.id) + ", " + data + ", sizeof " + data + "},\n";
  }
  out += "};\n\n}  // namespace\n\nconst ResourceTable kProgramResources = {kEntries, std::size(kEntries)};\n\n"
         "}  // namespace resources\n";
  return out;
}

// Make-style rule: "output: input input ...", blanks escaped.
std::string DependencyRule(const fs::path& output, const std::vector<fs::path>& inputs) {
  auto escape = [](const fs::path& path) {
    std::string out;
    for (char c : fs::absolute(path).lexically_normal().string()) {
      if (c == ' ' || c == '#') out.push_back('\\');
      if (c == '$') out.push_back('$');
      out.push_back(c);
    }
    return out;
  };
  std::string rule = escape(output) + ":";
  for (const auto& input : inputs) rule += " \\\n  " + escape(input);
  return rule + "\n";
}

// Written beside the target and renamed over it, so an interrupted build
// never leaves half a source behind.
bool WriteFile(const fs::path& path, const std::string& content) {
  const fs::path temporary = path.string() + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    Fail("cannot write " + temporary.string() + ": " + std::strerror(errno));
    return false;
  }
  const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
  const bool closed = std::fclose(file) == 0;
  std::error_code error;
  if (!written || !closed) {
    Fail("cannot write " + temporary.string());
    fs::remove(temporary, error);
    return false;
  }
  fs::rename(temporary, path, error);
  if (error) {
    Fail("cannot rename " + temporary.string() + " to " + path.string() + ": " + error.message());
    fs::remove(temporary, error);
    return false;
  }
  return true;
}

}  // namespace

int Run(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) return 2;

  std::vector<Resource> table;
  std::vector<fs::path> inputs = {options.manifest, options.strings};
  // Both sources are checked before giving up, so one build lists every problem.
  const bool manifest_good = LoadManifest(options, table, inputs);
  const bool strings_good = LoadStrings(options, table);
  // The dependency file is written even on failure: fixing a listed file must
  // re-run the compiler.
  if (!options.depfile.empty() && !WriteFile(options.depfile, DependencyRule(options.output, inputs))) return 1;
  if (!manifest_good || !strings_good) return 1;

  Resource version;
  version.type_number = resources::kTypeVersion;
  version.id = resources::kVersionInfoId;
  version.origin = "version " + std::to_string(options.version.major) + "." + std::to_string(options.version.minor) +
                   "." + std::to_string(options.version.patch) + "." + std::to_string(options.version.tweak);
  version.data = resources::BuildVersionInfo(options.version);
  table.push_back(std::move(version));

  return WriteFile(options.output, Generate(table)) ? 0 : 1;
}

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    Fail(e.what());
    return 1;
  }
}
