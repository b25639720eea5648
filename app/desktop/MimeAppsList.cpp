#include "app/desktop/MimeAppsList.h"

namespace app::desktop {

namespace {

constexpr size_t npos = std::string::npos;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool IsHeader(std::string_view line) {
  line = Trim(line);
  return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

std::string_view HeaderName(std::string_view line) {
  line = Trim(line);
  return line.substr(1, line.size() - 2);
}

// Key of a "key=value" line; empty for comments and lines without '='.
std::string_view KeyOf(std::string_view line) {
  std::string_view t = Trim(line);
  if (t.empty() || t.front() == '#') return {};
  size_t eq = t.find('=');
  if (eq == npos) return {};
  return Trim(t.substr(0, eq));
}

}  // namespace

TMimeAppsList::TMimeAppsList(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    Line line;
    if (nl == npos) {
      line.text = std::string(text.substr(pos));
      pos = text.size();
    } else {
      std::string_view body = text.substr(pos, nl - pos);
      if (!body.empty() && body.back() == '\r') {
        body.remove_suffix(1);
        line.eol = "\r\n";
      } else {
        line.eol = "\n";
      }
      line.text = std::string(body);
      pos = nl + 1;
    }
    lines_.push_back(std::move(line));
  }
}

size_t TMimeAppsList::FindGroup(std::string_view group) const {
  for (size_t i = 0; i < lines_.size(); ++i)
    if (IsHeader(lines_[i].text) && HeaderName(lines_[i].text) == group) return i;
  return npos;
}

size_t TMimeAppsList::FindKey(size_t header, std::string_view key) const {
  for (size_t i = header + 1; i < lines_.size() && !IsHeader(lines_[i].text); ++i)
    if (KeyOf(lines_[i].text) == key) return i;
  return npos;
}

size_t TMimeAppsList::GroupEnd(size_t header) const {
  size_t end = header + 1;
  for (size_t i = header + 1; i < lines_.size() && !IsHeader(lines_[i].text); ++i)
    if (!Trim(lines_[i].text).empty()) end = i + 1;
  return end;
}

std::string TMimeAppsList::NewLineEnd() const {
  for (const Line& l : lines_)
    if (!l.eol.empty()) return l.eol;
  return "\n";
}

std::optional<std::string> TMimeAppsList::Get(std::string_view group, std::string_view key) const {
  size_t h = FindGroup(group);
  if (h == npos) return std::nullopt;
  size_t k = FindKey(h, key);
  if (k == npos) return std::nullopt;
  std::string_view t = lines_[k].text;
  return std::string(Trim(t.substr(t.find('=') + 1)));
}

void TMimeAppsList::Set(std::string_view group, std::string_view key, std::string_view value) {
  std::string text = std::string(key) + "=" + std::string(value);
  const std::string eol = NewLineEnd();
  size_t h = FindGroup(group);
  if (h != npos) {
    size_t k = FindKey(h, key);
    if (k != npos) {
      lines_[k].text = std::move(text);
      return;
    }
    size_t at = GroupEnd(h);
    // After a last line without a line end, the new line becomes the last one
    // without it, so that removing it gives the file back as it was.
    const bool atUnendedEnd = lines_[at - 1].eol.empty();
    if (atUnendedEnd) lines_[at - 1].eol = eol;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(text), atUnendedEnd ? "" : eol});
    return;
  }
  if (!lines_.empty()) {
    if (lines_.back().eol.empty()) lines_.back().eol = eol;
    if (!Trim(lines_.back().text).empty()) lines_.push_back(Line{"", eol});
  }
  lines_.push_back(Line{"[" + std::string(group) + "]", eol});
  lines_.push_back(Line{std::move(text), eol});
}

void TMimeAppsList::Remove(std::string_view group, std::string_view key) {
  size_t h = FindGroup(group);
  if (h == npos) return;
  size_t k = FindKey(h, key);
  if (k == npos) return;
  const bool wasLast = lines_[k].eol.empty();
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(k));
  // A removed last line leaves the file ending as it did.
  if (wasLast && !lines_.empty() && k == lines_.size()) lines_.back().eol.clear();
}

std::string TMimeAppsList::Text() const {
  std::string out;
  for (const Line& l : lines_) {
    out += l.text;
    out += l.eol;
  }
  return out;
}

}  // namespace app::desktop
