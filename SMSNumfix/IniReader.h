#pragma once
// A read-only INI file held in memory. Keys of the template file contain "/",
// which a settings class would take as groups, so the file is parsed here.

#include <string>
#include <vector>

class IniReader {
 public:
  IniReader() = default;

  // Reads the file; a missing file reads as a file without sections.
  // A file that exists but cannot be read throws std::runtime_error with a
  // message for the operator, in Hungarian, that names the file.
  explicit IniReader(const std::string& path);

  // Parses text already in memory (lines end in LF or CR LF).
  void SetText(const std::string& text);

  // The keys of a section in file order, every occurrence of a repeated key
  // included. Section names compare without regard to the case of a-z; when a
  // section occurs more than once, only its last occurrence counts.
  std::vector<std::string> ReadSection(const std::string& section) const;

  // The value of a key in a section (keys compare like section names); when a
  // key occurs more than once, its last occurrence counts.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& fallback) const;

  bool SectionExists(const std::string& section) const;

 private:
  struct Entry {
    std::string key;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };
  const Section* FindSection(const std::string& name) const;

  std::vector<Section> sections_;
};
