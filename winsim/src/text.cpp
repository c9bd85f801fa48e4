#include "winsim/text.h"

namespace winsim {

WideText Widen(const std::string& utf8) {
  WideText out;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char lead = static_cast<unsigned char>(utf8[i]);
    uint32_t code = lead;
    size_t extra = 0;
    if (lead >= 0xF0) {
      code = lead & 0x07;
      extra = 3;
    } else if (lead >= 0xE0) {
      code = lead & 0x0F;
      extra = 2;
    } else if (lead >= 0xC0) {
      code = lead & 0x1F;
      extra = 1;
    }
    ++i;
    for (size_t k = 0; k < extra && i < utf8.size(); ++k, ++i) {
      code = (code << 6) | (static_cast<unsigned char>(utf8[i]) & 0x3F);
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
  }
  return out;
}

std::string Utf8(const WCHAR* text, size_t length) {
  std::string out;
  for (size_t i = 0; i < length; ++i) {
    uint32_t code = static_cast<uint16_t>(text[i]);
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < length) {
      uint32_t low = static_cast<uint16_t>(text[i + 1]);
      if (low >= 0xDC00 && low < 0xE000) {
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (code >> 6)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (code >> 12)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (code >> 18)));
      out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return out;
}

std::string Utf8(const WCHAR* text) {
  if (text == nullptr) return std::string();
  size_t length = 0;
  while (text[length] != 0) ++length;
  return Utf8(text, length);
}

std::string Utf8(const WideText& text) {
  return Utf8(Ptr(text), text.size());
}

WideText FoldCase(const WideText& text) {
  WideText out = text;
  for (char16_t& c : out) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return out;
}

bool EqualsIgnoringCase(const WideText& a, const WideText& b) {
  return FoldCase(a) == FoldCase(b);
}

}  // namespace winsim
