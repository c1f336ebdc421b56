#pragma once
// Address arithmetic and byte moves on plain memory blocks.

#include <cstring>

// The address Count bytes after Address.
inline void* OffsetPointer(void* Address, int Count) noexcept
{
    return static_cast<unsigned char*>(Address) + Count;
}
inline const void* OffsetPointer(const void* Address, int Count) noexcept
{
    return static_cast<const unsigned char*>(Address) + Count;
}

// Copies Count bytes from Source to Dest; the blocks may overlap.
inline void MoveBytes(void* Dest, const void* Source, int Count) noexcept
{
    if (Count > 0)
        std::memmove(Dest, Source, static_cast<std::size_t>(Count));
}
