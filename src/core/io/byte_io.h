#pragma once
// Little-endian byte reading and writing, written once for every file format. Three tools:
// loads from a pointer whose bytes the caller has already checked (for pixel loops); ByteView,
// whose reads at an offset never go past the end; and ByteReader / ByteWriter, a cursor over
// the bytes in file order.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace pq {

// No bounds checks here: the caller guarantees that the bytes exist.
inline std::uint16_t LoadU16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
inline std::uint32_t LoadU32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
inline std::int32_t LoadI32(const std::uint8_t* p) { return std::int32_t(LoadU32(p)); }
// Big-endian, for the few formats embedded in ours that use it (PNG).
inline std::uint32_t LoadU32BE(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | std::uint32_t(p[3]);
}

// Reads at offsets of a byte range. Has() says whether bytes exist; a read of bytes that do not
// exist gives 0 (and an empty Sub), never a read past the end.
class ByteView {
public:
    ByteView() = default;
    explicit ByteView(std::span<const std::uint8_t> bytes) : d_(bytes) {}

    std::size_t Size() const { return d_.size(); }
    const std::uint8_t* Data() const { return d_.data(); }
    std::span<const std::uint8_t> Bytes() const { return d_; }
    bool Has(std::size_t offset, std::size_t n) const { return offset <= d_.size() && n <= d_.size() - offset; }

    std::uint8_t U8(std::size_t offset) const { return Has(offset, 1) ? d_[offset] : 0; }
    std::uint16_t U16(std::size_t offset) const { return Has(offset, 2) ? LoadU16(d_.data() + offset) : 0; }
    std::uint32_t U32(std::size_t offset) const { return Has(offset, 4) ? LoadU32(d_.data() + offset) : 0; }
    std::int32_t I32(std::size_t offset) const { return std::int32_t(U32(offset)); }
    std::span<const std::uint8_t> Sub(std::size_t offset, std::size_t n) const {
        return Has(offset, n) ? d_.subspan(offset, n) : std::span<const std::uint8_t>();
    }

private:
    std::span<const std::uint8_t> d_;
};

// Reads the bytes in order. Each read checks the bytes that remain; a read that does not fit
// returns false and leaves the position where it was.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : d_(bytes) {}

    std::size_t Position() const { return pos_; }
    std::size_t Remaining() const { return d_.size() - pos_; }

    bool U8(std::uint8_t& v) {
        if (Remaining() < 1) return false;
        v = d_[pos_++];
        return true;
    }
    bool U16(std::uint16_t& v) {
        if (Remaining() < 2) return false;
        v = LoadU16(d_.data() + pos_);
        pos_ += 2;
        return true;
    }
    bool U32(std::uint32_t& v) {
        if (Remaining() < 4) return false;
        v = LoadU32(d_.data() + pos_);
        pos_ += 4;
        return true;
    }
    bool U64(std::uint64_t& v) {
        std::uint32_t lo = 0, hi = 0;
        if (Remaining() < 8) return false;
        U32(lo);
        U32(hi);
        v = lo | (std::uint64_t(hi) << 32);
        return true;
    }
    bool I32(std::int32_t& v) {
        std::uint32_t u = 0;
        if (!U32(u)) return false;
        v = std::int32_t(u);
        return true;
    }
    // The next n bytes, without copying them.
    bool Take(std::size_t n, std::span<const std::uint8_t>& out) {
        if (Remaining() < n) return false;
        out = d_.subspan(pos_, n);
        pos_ += n;
        return true;
    }
    bool Skip(std::size_t n) {
        if (Remaining() < n) return false;
        pos_ += n;
        return true;
    }

private:
    std::span<const std::uint8_t> d_;
    std::size_t pos_ = 0;
};

// Appends little-endian values to a byte vector.
class ByteWriter {
public:
    explicit ByteWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    void U8(std::uint8_t v) { out_.push_back(v); }
    void U16(std::uint32_t v) {
        out_.push_back(std::uint8_t(v));
        out_.push_back(std::uint8_t(v >> 8));
    }
    void U32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out_.push_back(std::uint8_t(v >> (8 * i)));
    }
    void I32(std::int32_t v) { U32(std::uint32_t(v)); }
    void U64(std::uint64_t v) {
        U32(std::uint32_t(v));
        U32(std::uint32_t(v >> 32));
    }
    void Bytes(std::span<const std::uint8_t> bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }
    void Fill(std::size_t n, std::uint8_t v) { out_.insert(out_.end(), n, v); }

private:
    std::vector<std::uint8_t>& out_;
};

}  // namespace pq
