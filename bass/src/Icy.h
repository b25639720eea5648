// ICY (Shoutcast/Icecast) stream parsing: the metadata de-interleaver and the metadata text.
// Pure code without threads or I/O, so the fuzz targets can drive it directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvbass {

// The "icy-metaint" header's value: audio bytes between metadata blocks. 0 when absent, not a
// plain decimal number, zero, negative or above 16 MiB: the body is then audio only.
uint32_t ParseIcyMetaInt(const std::string& value);

// Splits an ICY body into audio bytes and metadata texts. After every "metaint" audio bytes comes
// one length byte L and L x 16 bytes of text (padded with zeros). Any chunking of the input gives
// the same output.
class IcyDeinterleaver {
 public:
  explicit IcyDeinterleaver(uint32_t metaint = 0) : metaint_(metaint), left_(metaint) {}
  // Calls audio(const uint8_t*, size_t) for audio runs and meta(const std::string&) for each
  // complete metadata block that is not empty (text up to its first zero byte).
  template <class Audio, class Meta> void Feed(const uint8_t* p, size_t n, Audio&& audio, Meta&& meta);
  // True between a block's length byte and its last text byte (a cut there loses the block).
  bool InMeta() const { return state_ != State::Audio; }

 private:
  enum class State { Audio, Length, Text } state_ = State::Audio;
  uint32_t metaint_;
  uint32_t left_;       // audio bytes until the next length byte
  size_t textLeft_ = 0; // text bytes still to come in the current block
  std::string text_;
};

template <class Audio, class Meta>
void IcyDeinterleaver::Feed(const uint8_t* p, size_t n, Audio&& audio, Meta&& meta) {
  if (metaint_ == 0) {
    if (n) audio(p, n);
    return;
  }
  while (n) {
    switch (state_) {
      case State::Audio: {
        size_t k = n < left_ ? n : left_;
        if (k) audio(p, k);
        p += k;
        n -= k;
        left_ -= uint32_t(k);
        if (left_ == 0) state_ = State::Length;
        break;
      }
      case State::Length:
        textLeft_ = size_t(*p) * 16;
        ++p;
        --n;
        text_.clear();
        if (textLeft_ == 0) {
          state_ = State::Audio;
          left_ = metaint_;
        } else {
          state_ = State::Text;
        }
        break;
      case State::Text: {
        size_t k = n < textLeft_ ? n : textLeft_;
        text_.append(reinterpret_cast<const char*>(p), k);
        p += k;
        n -= k;
        textLeft_ -= k;
        if (textLeft_ == 0) {
          std::string t(text_.c_str());  // zero padding ends the text
          state_ = State::Audio;
          left_ = metaint_;
          if (!t.empty()) meta(t);
        }
        break;
      }
    }
  }
}

// The title inside a metadata text ("StreamTitle='Artist - Song';StreamUrl='';"): the quoted
// value up to the "';" that ends it (a ';' inside the title is kept), or, without quotes, up to
// the first ';'. *found is false when the text has no StreamTitle key (the result is then empty).
std::string IcyStreamTitle(const std::string& meta, bool* found);

// The first http:// or https:// address in a .pls or .m3u text a server answered with (a
// "FileN=" key is stepped over; blanks around the address are cut). Empty when there is none.
std::string FirstPlaylistAddress(const std::string& body);

}  // namespace orvbass
