// Explicit byte order: every field and sample is assembled from its bytes in
// the order its format fixes, whatever the machine's own order.  The compiler
// turns these into plain loads and stores (with a byte swap where needed).
#pragma once

#include <cstdint>

inline uint16_t load_be16(const unsigned char* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
inline uint16_t load_le16(const unsigned char* p) { return static_cast<uint16_t>(p[1] << 8 | p[0]); }
inline uint32_t load_be32(const unsigned char* p)
{
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}
inline uint32_t load_le32(const unsigned char* p)
{
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
    p[0] = static_cast<unsigned char>(v >> 8);
    p[1] = static_cast<unsigned char>(v);
}
inline void store_le16(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
inline void store_be32(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}
inline void store_le32(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
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
