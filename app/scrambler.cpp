#include "app/scrambler.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <optional>
#include <random>
#include <vector>

#include "platform/ascii.h"
#include "platform/clock.h"

namespace {

// The program's fixed key table. Changing it makes every stored user name
// and password unreadable.
constexpr std::array<uint8_t, 8> kKey = {0x5A, 0xC3, 0x17, 0x9E, 0x64, 0xB1, 0x2D, 0xF8};

constexpr char kHexDigits[] = "0123456789ABCDEF";

uint8_t RotateLeft(uint8_t value, unsigned bits) {
  bits %= 8;
  return bits == 0 ? value : static_cast<uint8_t>((value << bits) | (value >> (8 - bits)));
}

uint8_t RotateRight(uint8_t value, unsigned bits) {
  bits %= 8;
  return bits == 0 ? value : static_cast<uint8_t>((value >> bits) | (value << (8 - bits)));
}

std::optional<uint8_t> HexValue(char16_t digit) {
  const int value = platform::HexDigitValue(digit);
  if (value < 0) return std::nullopt;
  return static_cast<uint8_t>(value);
}

// One generator for the whole process. Seeding from the tick count on every
// save would give two saves within the same tick the same padding (and make
// the padding guessable); the tick count only goes into the seed mix here.
uint8_t NextPaddingByte() {
  static std::mutex mutex;
  static std::mt19937 generator = [] {
    std::random_device device;
    std::seed_seq seed{device(), device(), platform::GetTickCount()};
    return std::mt19937(seed);
  }();
  std::lock_guard lock(mutex);
  return static_cast<uint8_t>(generator() & 0xFF);
}

}  // namespace

std::u16string CScrambler::Scramble(std::u16string_view text) {
  return Scramble(text, NextPaddingByte);
}

std::u16string CScrambler::Scramble(std::u16string_view text,
                                    const std::function<uint8_t()>& padding) {
  std::vector<uint8_t> plain;
  plain.reserve(std::max(kPaddedSize, (text.size() + 1) * 2));
  for (char16_t unit : text) {
    plain.push_back(static_cast<uint8_t>(unit & 0xFF));
    plain.push_back(static_cast<uint8_t>(unit >> 8));
  }
  plain.push_back(0);
  plain.push_back(0);
  while (plain.size() < kPaddedSize) plain.push_back(padding());

  uint32_t header = 0;
  for (size_t i = 0; i < plain.size(); ++i) header += kKey[i % kKey.size()] ^ plain[i];

  std::vector<uint8_t> stored;
  stored.reserve(4 + plain.size());
  for (int shift = 0; shift < 32; shift += 8) stored.push_back(static_cast<uint8_t>(header >> shift));
  uint8_t state = static_cast<uint8_t>(header & 0xFF);
  for (size_t i = 0; i < plain.size(); ++i) {
    const uint8_t mixed = kKey[i % kKey.size()] ^ plain[i];
    const uint8_t rotated = RotateLeft(mixed, state);
    stored.push_back(static_cast<uint8_t>(rotated ^ (i & 0xFF) ^ state));
    state = static_cast<uint8_t>(state + rotated);
  }

  std::u16string hex;
  hex.reserve(stored.size() * 2);
  for (uint8_t byte : stored) {
    hex.push_back(static_cast<char16_t>(kHexDigits[byte >> 4]));
    hex.push_back(static_cast<char16_t>(kHexDigits[byte & 0x0F]));
  }
  return hex;
}

std::u16string CScrambler::Unscramble(std::u16string_view stored) {
  if (stored.size() % 2 != 0 || stored.size() < 10) return {};
  std::vector<uint8_t> bytes;
  bytes.reserve(stored.size() / 2);
  for (size_t i = 0; i < stored.size(); i += 2) {
    const std::optional<uint8_t> high = HexValue(stored[i]);
    const std::optional<uint8_t> low = HexValue(stored[i + 1]);
    if (!high || !low) return {};
    bytes.push_back(static_cast<uint8_t>(*high << 4 | *low));
  }

  // Only the header's low byte seeds the state; its other three bytes are the
  // rest of the checksum and play no part in reading.
  uint8_t state = bytes[0];
  std::vector<uint8_t> plain;
  plain.reserve(bytes.size() - 4);
  for (size_t i = 0; i + 4 < bytes.size(); ++i) {
    const uint8_t rotated = static_cast<uint8_t>(bytes[i + 4] ^ (i & 0xFF) ^ state);
    plain.push_back(static_cast<uint8_t>(RotateRight(rotated, state) ^ kKey[i % kKey.size()]));
    state = static_cast<uint8_t>(state + rotated);
  }

  // A trailing odd byte cannot form a character and is dropped.
  std::u16string text;
  for (size_t i = 0; i + 1 < plain.size(); i += 2) {
    const char16_t unit = static_cast<char16_t>(plain[i] | plain[i + 1] << 8);
    if (unit == 0) break;
    text.push_back(unit);
  }
  const auto is_control = [](char16_t unit) { return unit >= 1 && unit <= 31; };
  size_t begin = 0;
  while (begin < text.size() && is_control(text[begin])) ++begin;
  size_t end = text.size();
  while (end > begin && is_control(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}
