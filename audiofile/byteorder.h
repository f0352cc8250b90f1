// Explicit byte order: every field and sample is read and written in the
// order its format fixes, whatever the machine's own order.  On a
// little-endian machine a value moves as one machine word (byte-swapped for
// big-endian data), which the compiler can run on vectors; elsewhere it is
// assembled byte by byte.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace byteorder_detail {

constexpr bool little_host = std::endian::native == std::endian::little;

template <typename T>
inline T load_word(const unsigned char* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
inline void store_word(unsigned char* p, T v)
{
    std::memcpy(p, &v, sizeof v);
}

}  // namespace byteorder_detail

inline uint16_t load_be16(const unsigned char* p)
{
    if constexpr (byteorder_detail::little_host)
        return __builtin_bswap16(byteorder_detail::load_word<uint16_t>(p));
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
inline uint16_t load_le16(const unsigned char* p)
{
    if constexpr (byteorder_detail::little_host)
        return byteorder_detail::load_word<uint16_t>(p);
    return static_cast<uint16_t>(p[1] << 8 | p[0]);
}
inline uint32_t load_be32(const unsigned char* p)
{
    if constexpr (byteorder_detail::little_host)
        return __builtin_bswap32(byteorder_detail::load_word<uint32_t>(p));
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}
inline uint32_t load_le32(const unsigned char* p)
{
    if constexpr (byteorder_detail::little_host)
        return byteorder_detail::load_word<uint32_t>(p);
    return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | uint32_t{p[0]};
}
inline uint64_t load_be64(const unsigned char* p)
{
    return uint64_t{load_be32(p)} << 32 | load_be32(p + 4);
}
inline uint64_t load_le64(const unsigned char* p)
{
    return uint64_t{load_le32(p + 4)} << 32 | load_le32(p);
}

inline void store_be16(unsigned char* p, uint32_t v)
{
    if constexpr (byteorder_detail::little_host) {
        byteorder_detail::store_word(p, __builtin_bswap16(static_cast<uint16_t>(v)));
    } else {
        p[0] = static_cast<unsigned char>(v >> 8);
        p[1] = static_cast<unsigned char>(v);
    }
}
inline void store_le16(unsigned char* p, uint32_t v)
{
    if constexpr (byteorder_detail::little_host) {
        byteorder_detail::store_word(p, static_cast<uint16_t>(v));
    } else {
        p[0] = static_cast<unsigned char>(v);
        p[1] = static_cast<unsigned char>(v >> 8);
    }
}
inline void store_be32(unsigned char* p, uint32_t v)
{
    if constexpr (byteorder_detail::little_host) {
        byteorder_detail::store_word(p, __builtin_bswap32(v));
    } else {
        p[0] = static_cast<unsigned char>(v >> 24);
        p[1] = static_cast<unsigned char>(v >> 16);
        p[2] = static_cast<unsigned char>(v >> 8);
        p[3] = static_cast<unsigned char>(v);
    }
}
inline void store_le32(unsigned char* p, uint32_t v)
{
    if constexpr (byteorder_detail::little_host) {
        byteorder_detail::store_word(p, v);
    } else {
        p[0] = static_cast<unsigned char>(v);
        p[1] = static_cast<unsigned char>(v >> 8);
        p[2] = static_cast<unsigned char>(v >> 16);
        p[3] = static_cast<unsigned char>(v >> 24);
    }
}
inline void store_be64(unsigned char* p, uint64_t v)
{
    store_be32(p, static_cast<uint32_t>(v >> 32));
    store_be32(p + 4, static_cast<uint32_t>(v));
}
inline void store_le64(unsigned char* p, uint64_t v)
{
    store_le32(p, static_cast<uint32_t>(v));
    store_le32(p + 4, static_cast<uint32_t>(v >> 32));
}
