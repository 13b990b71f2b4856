#include "core/io/sjis.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace pq {
namespace {

// Converts with iconv, replacing each input sequence it cannot convert by `replacement`
// (already in the target encoding) and skipping `skip` input bytes.
std::string Convert(const char* to, const char* from, const std::string& in, const std::string& replacement,
                    bool skipWholeUtf8Char) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return in;
    std::string out;
    std::vector<char> buf(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    while (srcLeft > 0) {
        char* dst = buf.data();
        size_t dstLeft = buf.size();
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buf.data(), dst);
        if (r != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL: replace one character and go on.
        out += replacement;
        size_t skip = 1;
        if (skipWholeUtf8Char) {
            unsigned char c = static_cast<unsigned char>(*src);
            skip = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            if (skip > srcLeft) skip = srcLeft;
        } else if (srcLeft >= 2 && (static_cast<unsigned char>(*src) >= 0x81)) {
            skip = 1;
        }
        src += skip;
        srcLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    char* dst = buf.data();
    size_t dstLeft = buf.size();
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    out.append(buf.data(), dst);
    iconv_close(cd);
    return out;
}

}  // namespace

std::string Utf8ToSjis(const std::string& utf8) { return Convert("CP932", "UTF-8", utf8, "?", true); }

std::string SjisToUtf8(const std::string& sjis) { return Convert("UTF-8", "CP932", sjis, "\xEF\xBF\xBD", false); }

bool SjisAvailable() {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    iconv_close(cd);
    return true;
}

std::optional<std::string> FirstCharacterNotInSjis(const std::string& utf8) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::optional<std::string> bad;
    std::size_t i = 0;
    while (i < utf8.size() && !bad) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        std::size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        len = std::min(len, utf8.size() - i);
        std::string one = utf8.substr(i, len);
        char out[16];
        char* src = one.data();
        std::size_t srcLeft = one.size();
        char* dst = out;
        std::size_t dstLeft = sizeof out;
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1) || srcLeft != 0) bad = one;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        i += len;
    }
    iconv_close(cd);
    return bad;
}

}  // namespace pq
