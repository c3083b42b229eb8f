#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

// A self-extracting file is the extractor program, then a ".zqv" stream whose
// plaintext is an envelope (original name, title text, content), then a fixed
// trailer that says where the stream starts.
namespace zqvcrypto::sfx {

inline constexpr std::array<char, 8> kTrailerMagic = {'Z', 'Q', 'V', 'S', 'F', 'X', '1', '\n'};
inline constexpr std::uint32_t kVersion = 1;
inline constexpr std::size_t kTrailerSize = 32;

inline constexpr std::array<char, 8> kEnvelopeMagic = {'Z', 'Q', 'V', 'E', 'N', 'V', '1', '\n'};
inline constexpr std::size_t kMaxNameSize = 4096;
inline constexpr std::size_t kMaxTextSize = 65536;

struct Trailer
{
    std::uint64_t payloadOffset = 0;
    std::uint64_t payloadSize = 0;
};

inline void putU64(unsigned char* at, std::uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline std::uint64_t getU64(const unsigned char* at)
{
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | at[i];
    return value;
}

inline std::array<unsigned char, kTrailerSize> encodeTrailer(const Trailer& trailer)
{
    std::array<unsigned char, kTrailerSize> bytes{};
    std::memcpy(bytes.data(), kTrailerMagic.data(), kTrailerMagic.size());
    putU64(&bytes[8], trailer.payloadOffset);
    putU64(&bytes[16], trailer.payloadSize);
    putU64(&bytes[24], kVersion | (std::uint64_t{kTrailerSize} << 32));
    return bytes;
}

// Checks the trailer against the file it ends: the payload must lie between
// the extractor and the trailer, exactly.
inline std::optional<Trailer> decodeTrailer(const unsigned char* bytes, std::uint64_t fileSize)
{
    if (fileSize < kTrailerSize || std::memcmp(bytes, kTrailerMagic.data(), kTrailerMagic.size()) != 0)
        return std::nullopt;
    const std::uint64_t versionAndSize = getU64(&bytes[24]);
    if ((versionAndSize & 0xFFFFFFFFu) != kVersion || (versionAndSize >> 32) != kTrailerSize)
        return std::nullopt;
    Trailer trailer{getU64(&bytes[8]), getU64(&bytes[16])};
    if (trailer.payloadOffset == 0 || trailer.payloadOffset > fileSize - kTrailerSize ||
        trailer.payloadSize != fileSize - kTrailerSize - trailer.payloadOffset)
        return std::nullopt;
    return trailer;
}

inline std::string encodeEnvelopeHead(const std::string& name, const std::string& text)
{
    std::string head(kEnvelopeMagic.data(), kEnvelopeMagic.size());
    const auto nameSize = static_cast<std::uint32_t>(std::min(name.size(), kMaxNameSize));
    const auto textSize = static_cast<std::uint32_t>(std::min(text.size(), kMaxTextSize));
    for (std::uint32_t value : {nameSize, textSize}) {
        for (int i = 0; i < 4; ++i)
            head.push_back(static_cast<char>(value >> (8 * i)));
    }
    head.append(name, 0, nameSize);
    head.append(text, 0, textSize);
    return head;
}

} // namespace zqvcrypto::sfx
