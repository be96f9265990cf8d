#include "IniReader.h"

#include <sys/stat.h>

#include <cstdio>
#include <stdexcept>

namespace {

bool IsSpace(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsSpace(s[b])) ++b;
  while (e > b && IsSpace(s[e - 1])) --e;
  return s.substr(b, e - b);
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

// The program shows this text as it stands: Hungarian, naming the file.
std::runtime_error Unreadable(const std::string& path) {
  return std::runtime_error("A fájl nem olvasható: " + path);
}

}  // namespace

IniReader::IniReader(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return;  // missing: no sections
  if (S_ISDIR(st.st_mode)) throw Unreadable(path);
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) throw Unreadable(path);
  std::string text;
  char buf[8192];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) throw Unreadable(path);
  SetText(text);
}

void IniReader::SetText(const std::string& text) {
  sections_.clear();
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      std::string name = Trim(line.substr(1, line.size() - 2));
      // Only the last occurrence of a section counts: drop an earlier one.
      for (auto it = sections_.begin(); it != sections_.end(); ++it)
        if (SameName(it->name, name)) {
          sections_.erase(it);
          break;
        }
      sections_.push_back({name, {}});
      continue;
    }
    if (sections_.empty()) continue;  // before the first section
    size_t eq = line.find('=');
    if (eq == std::string::npos)
      sections_.back().entries.push_back({"", ""});
    else
      sections_.back().entries.push_back({Trim(line.substr(0, eq)), Trim(line.substr(eq + 1))});
  }
}

const IniReader::Section* IniReader::FindSection(const std::string& name) const {
  for (const Section& s : sections_)
    if (SameName(s.name, name)) return &s;
  return nullptr;
}

bool IniReader::SectionExists(const std::string& section) const {
  return FindSection(section) != nullptr;
}

std::vector<std::string> IniReader::ReadSection(const std::string& section) const {
  std::vector<std::string> keys;
  if (const Section* s = FindSection(section))
    for (const Entry& e : s->entries) keys.push_back(e.key);
  return keys;
}

std::string IniReader::ReadString(const std::string& section, const std::string& key,
                                  const std::string& fallback) const {
  const Section* s = FindSection(section);
  if (!s) return fallback;
  for (auto it = s->entries.rbegin(); it != s->entries.rend(); ++it)
    if (SameName(it->key, key)) return it->value;
  return fallback;
}
