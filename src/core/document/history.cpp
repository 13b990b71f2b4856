#include "core/document/history.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <utility>

#include "core/formats/sjis.h"

namespace fs = std::filesystem;

namespace pq {
namespace {

constexpr int kMaxSide = 4096;
const char* const kWriteFailed = "アンドゥ情報を保存できませんでした。";
const char* const kReadFailed = "アンドゥ情報を読み込めませんでした。";

// ---- snapshot bytes ---------------------------------------------------------------------

class ByteWriter {
public:
    explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}
    void I32(int32_t v) {
        uint32_t u = uint32_t(v);
        for (int i = 0; i < 4; ++i) out_.push_back(uint8_t(u >> (8 * i)));
    }
    void U8(uint8_t v) { out_.push_back(v); }
    void Text(const std::string& utf8) {
        std::string sjis = Utf8ToSjis(utf8);
        I32(int32_t(sjis.size()));
        out_.insert(out_.end(), sjis.begin(), sjis.end());
    }
    // Exactly `size` bytes of the plane: a plane of the wrong length is cut or padded with 0,
    // so the file always has the layout its width and height promise.
    void PlaneBytes(const Plane& p, std::size_t size) {
        std::size_t n = std::min(size, p.size());
        out_.insert(out_.end(), p.begin(), p.begin() + std::ptrdiff_t(n));
        out_.insert(out_.end(), size - n, 0);
    }

private:
    std::vector<uint8_t>& out_;
};

// Every read is checked against the bytes that remain; a failed read leaves the reader failed.
class ByteReader {
public:
    explicit ByteReader(const std::vector<uint8_t>& in) : in_(in) {}
    std::size_t Remaining() const { return in_.size() - pos_; }
    bool I32(int32_t& v) {
        if (Remaining() < 4) return false;
        uint32_t u = 0;
        for (int i = 0; i < 4; ++i) u |= uint32_t(in_[pos_ + i]) << (8 * i);
        pos_ += 4;
        v = int32_t(u);
        return true;
    }
    bool U8(uint8_t& v) {
        if (Remaining() < 1) return false;
        v = in_[pos_++];
        return true;
    }
    bool Bytes(std::size_t n, std::vector<uint8_t>& out) {
        if (Remaining() < n) return false;
        out.assign(in_.begin() + std::ptrdiff_t(pos_), in_.begin() + std::ptrdiff_t(pos_ + n));
        pos_ += n;
        return true;
    }
    bool Text(std::string& utf8) {
        int32_t n = 0;
        if (!I32(n) || n < 0 || std::size_t(n) > Remaining()) return false;
        utf8 = SjisToUtf8(std::string(in_.begin() + std::ptrdiff_t(pos_), in_.begin() + std::ptrdiff_t(pos_ + n)));
        pos_ += std::size_t(n);
        return true;
    }

private:
    const std::vector<uint8_t>& in_;
    std::size_t pos_ = 0;
};

// ---- files ------------------------------------------------------------------------------

std::string WriteReason(int err) {
    switch (err) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return "ディスクの空き容量が足りません。";
    case EFBIG: return "ファイルが大きすぎます。";
    case ENOENT:
    case ENOTDIR: return "保存先のフォルダがありません。";
    case EACCES:
    case EPERM:
    case EROFS: return "保存先に書き込む権限がありません。";
    case EISDIR: return "同じ名前のフォルダがあるため書き込めません。";
    default: return std::string("書き込みに失敗しました（") + std::strerror(err) + "）。";
    }
}

HistoryResult WriteFailure(int err, const fs::path& target) {
    return HistoryResult{false, std::string(kWriteFailed) + "\n" + WriteReason(err) + "\n" + target.string()};
}

// A temporary file beside its target, renamed over the target only once it was written
// completely; removed again when it was not committed.
class TempFile {
public:
    explicit TempFile(const fs::path& target) : target_(target) {}
    ~TempFile() {
        if (!tmp_.empty()) ::unlink(tmp_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    bool Write(const std::vector<uint8_t>& bytes) {
        std::string tmpl = target_.string() + ".XXXXXX";
        int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
        if (fd < 0) return Fail();
        tmp_ = tmpl;
        std::size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (n == 0) errno = ENOSPC;
                int e = errno;
                ::close(fd);
                errno = e;
                return Fail();
            }
            done += std::size_t(n);
        }
        if (::close(fd) != 0) return Fail();
        return true;
    }
    bool Commit() {
        if (::rename(tmp_.c_str(), target_.c_str()) != 0) return Fail();
        tmp_.clear();
        return true;
    }
    int Error() const { return err_; }

private:
    bool Fail() {
        err_ = errno;
        return false;
    }
    fs::path target_;
    std::string tmp_;
    int err_ = 0;
};

enum class ReadStatus { Ok, Missing, Failed };

ReadStatus ReadWholeFile(const fs::path& path, std::vector<uint8_t>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return ReadStatus::Missing;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.bad() ? ReadStatus::Failed : ReadStatus::Ok;
}

HistoryResult WriteSnapshot(const Document& doc, const HistoryContext& ctx, int k, const std::string& name) {
    fs::path target = SnapshotPath(ctx, k);
    TempFile tmp(target);
    if (!tmp.Write(EncodeSnapshot(doc, name)) || !tmp.Commit()) return WriteFailure(tmp.Error(), target);
    return {};
}

}  // namespace

fs::path SnapshotPath(const HistoryContext& ctx, int k) {
    return ctx.Folder / ("img" + std::to_string(ctx.WindowNumber) + "no" + std::to_string(k));
}

std::vector<uint8_t> EncodeSnapshot(const Document& doc, const std::string& stepName) {
    const std::size_t planeSize = std::size_t(std::max(doc.ImageWidth, 0)) * std::size_t(std::max(doc.ImageHeight, 0));
    std::vector<uint8_t> out;
    out.reserve(1100 + 2 * planeSize * std::size_t(doc.LayerCount() + 1));
    ByteWriter w(out);
    w.Text(stepName);
    w.I32(doc.ImageWidth);
    w.I32(doc.ImageHeight);
    w.I32(doc.ColorCount);
    for (const PaletteEntry& e : doc.Palette) {
        w.U8(e.blue);
        w.U8(e.green);
        w.U8(e.red);
        w.U8(e.reserved);
    }
    w.U8(doc.HasSelection ? 1 : 0);
    w.I32(doc.SelLeft);
    w.I32(doc.SelTop);
    w.I32(doc.SelRight);
    w.I32(doc.SelBottom);
    w.I32(doc.FloatDX);
    w.I32(doc.FloatDY);
    w.U8(doc.SelectionSpare);
    w.PlaneBytes(doc.FloatIndices, planeSize);
    w.PlaneBytes(doc.FloatMask, planeSize);
    w.I32(doc.LayerCount());
    for (const Layer& l : doc.Layers()) {
        w.Text(l.Name);
        w.U8(l.Visible);
        w.PlaneBytes(l.Indices, planeSize);
        w.PlaneBytes(l.Mask, planeSize);
    }
    w.I32(doc.CurrentLayer());
    return out;
}

bool DecodeSnapshot(const std::vector<uint8_t>& bytes, Document& doc, std::string* stepName) {
    ByteReader r(bytes);
    std::string name;
    int32_t w = 0, h = 0, colors = 0;
    if (!r.Text(name) || !r.I32(w) || !r.I32(h) || !r.I32(colors)) return false;
    if (w < 1 || w > kMaxSide || h < 1 || h > kMaxSide) return false;
    if (colors != 16 && colors != 256) return false;
    const std::size_t planeSize = std::size_t(w) * std::size_t(h);

    PaletteTable palette{};
    for (PaletteEntry& e : palette)
        if (!r.U8(e.blue) || !r.U8(e.green) || !r.U8(e.red) || !r.U8(e.reserved)) return false;

    uint8_t hasSelection = 0, spare = 0;
    int32_t sel[4] = {}, dx = 0, dy = 0;
    if (!r.U8(hasSelection)) return false;
    for (int32_t& v : sel)
        if (!r.I32(v)) return false;
    if (!r.I32(dx) || !r.I32(dy) || !r.U8(spare)) return false;
    Plane floatIndices, floatMask;
    if (!r.Bytes(planeSize, floatIndices) || !r.Bytes(planeSize, floatMask)) return false;

    int32_t layerCount = 0;
    if (!r.I32(layerCount) || layerCount < 1) return false;
    // Each layer needs at least its name length, Visible and two planes.
    if (std::size_t(layerCount) > r.Remaining() / (5 + 2 * planeSize)) return false;
    std::vector<Layer> layers(static_cast<std::size_t>(layerCount));
    for (Layer& l : layers) {
        if (!r.Text(l.Name) || !r.U8(l.Visible) || !r.Bytes(planeSize, l.Indices) || !r.Bytes(planeSize, l.Mask))
            return false;
    }
    int32_t current = 0;
    if (!r.I32(current) || current < 0 || current >= layerCount) return false;
    if (r.Remaining() != 0) return false;

    // Everything checked: only now does the document change.
    doc.ImageWidth = w;
    doc.ImageHeight = h;
    doc.ColorCount = colors;
    doc.Palette = palette;
    doc.HasSelection = hasSelection != 0;
    doc.SelLeft = sel[0];
    doc.SelTop = sel[1];
    doc.SelRight = sel[2];
    doc.SelBottom = sel[3];
    doc.FloatDX = dx;
    doc.FloatDY = dy;
    doc.SelectionSpare = spare;
    doc.FloatIndices = std::move(floatIndices);
    doc.FloatMask = std::move(floatMask);
    doc.ReplaceLayers(std::move(layers), current);
    doc.StrokeBitmap.Resize(w, h);
    doc.StrokeBitmap.Fill(kWhite);
    // The clone source is not part of a snapshot; forget it when its layer no longer exists.
    if (doc.CloneLayer >= doc.LayerCount()) {
        doc.CloneLayer = 0;
        doc.CloneState = 0;
    }
    if (stepName) *stepName = std::move(name);
    return true;
}

HistoryResult RecordStep(Document& doc, const HistoryContext& ctx, const std::string& name, bool clearFirst) {
    if (!doc.Modified && name != " ") doc.Modified = true;
    if (!ctx.UndoEnabled) return {};

    if (clearFirst) {
        // The new base snapshot is written before the old history is deleted, so a failed
        // write leaves the history as it was.
        fs::path target = SnapshotPath(ctx, 0);
        TempFile tmp(target);
        if (!tmp.Write(EncodeSnapshot(doc, " "))) return WriteFailure(tmp.Error(), target);
        ClearHistory(doc, ctx);
        if (!tmp.Commit()) return WriteFailure(tmp.Error(), target);
        doc.HistoryPosition = 1;
        doc.SnapshotCount = 1;
        doc.RedoCount = 0;
        return {};
    }

    HistoryResult r = WriteSnapshot(doc, ctx, doc.HistoryPosition, name);
    if (!r.Ok) return r;
    doc.HistoryPosition += 1;
    doc.SnapshotCount += 1;
    doc.RedoCount = 0;
    return {};
}

HistoryResult RestoreStep(Document& doc, const HistoryContext& ctx, bool redo) {
    int k;
    if (!redo) {
        if (doc.HistoryPosition <= 1) return {};
        k = doc.HistoryPosition - 2;
    } else {
        if (doc.RedoCount == 0) return {};
        k = doc.HistoryPosition;
    }
    std::vector<uint8_t> bytes;
    switch (ReadWholeFile(SnapshotPath(ctx, k), bytes)) {
    case ReadStatus::Missing: return HistoryResult{false, std::string(kReadFailed) + "\nファイルが見つかりません。"};
    case ReadStatus::Failed: return HistoryResult{false, std::string(kReadFailed) + "\nファイルを読み込めません。"};
    case ReadStatus::Ok: break;
    }
    if (!DecodeSnapshot(bytes, doc))
        return HistoryResult{false, std::string(kReadFailed) + "\nファイルの内容が壊れています。"};
    if (!redo) {
        doc.HistoryPosition -= 1;
        doc.RedoCount += 1;
    } else {
        doc.HistoryPosition += 1;
        doc.RedoCount -= 1;
    }
    return {};
}

void ClearHistory(Document& doc, const HistoryContext& ctx) {
    for (int k = 0; k < doc.SnapshotCount; ++k) {
        std::error_code ec;
        fs::remove(SnapshotPath(ctx, k), ec);
    }
    doc.HistoryPosition = doc.RedoCount = doc.SnapshotCount = 0;
}

std::optional<std::string> StepName(const HistoryContext& ctx, int k) {
    fs::path path = SnapshotPath(ctx, k);
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    uint8_t len[4];
    if (!in.read(reinterpret_cast<char*>(len), 4)) return std::nullopt;
    int32_t n = int32_t(uint32_t(len[0]) | uint32_t(len[1]) << 8 | uint32_t(len[2]) << 16 | uint32_t(len[3]) << 24);
    if (n < 0 || std::uintmax_t(n) > size - 4) return std::nullopt;
    std::string sjis(std::size_t(n), '\0');
    if (n > 0 && !in.read(sjis.data(), n)) return std::nullopt;
    return SjisToUtf8(sjis);
}

EditMenuState ComputeEditMenu(const Document& doc, const HistoryContext& ctx) {
    EditMenuState m;
    if (doc.HistoryPosition < 2) {
        m.UndoCaption = "元に戻せません(&U)";
    } else {
        m.UndoCaption = "元に戻す(&U) - " + StepName(ctx, doc.HistoryPosition - 1).value_or("");
        m.UndoEnabled = true;
    }
    if (doc.RedoCount != 0) {
        m.RedoCaption = "やり直し(&R) - " + StepName(ctx, doc.HistoryPosition).value_or("");
        m.RedoEnabled = true;
    } else {
        m.RedoCaption = "やり直せません(&R)";
    }
    m.MemoryClearEnabled = doc.HistoryPosition > 1 || doc.RedoCount > 0;
    return m;
}

// ---- the snapshot folder of this instance ----------------------------------------------

namespace {

const char* const kLockName = "pqlock";
const char* const kPrivatePrefix = "pqinst-";

// True while the locked descriptor still belongs to the file at `path` (a cleaner in another
// instance may have removed the folder between our open and our lock).
bool StillLinked(int fd, const fs::path& path) {
    struct stat a {}, b {};
    if (::fstat(fd, &a) != 0 || ::stat(path.c_str(), &b) != 0) return false;
    return a.st_nlink > 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens and locks `path` without waiting; -1 when it cannot be opened or another instance
// holds it.
int TryLock(const fs::path& path, bool create) {
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0644);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !StillLinked(fd, path)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Leftovers of instances that ended without cleaning up (a crash): snapshot files in the
// shared folder and private folders whose lock nobody holds. Called only by the instance
// that owns the shared folder.
void RemoveLeftovers(const fs::path& folder) {
    static const std::regex snapshot("img[0-9]+no[0-9]+(\\.[A-Za-z0-9]{6})?");
    std::error_code ec;
    std::vector<fs::path> stale;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
        std::string name = e.path().filename().string();
        std::error_code ec2;
        if (e.is_regular_file(ec2) && std::regex_match(name, snapshot)) {
            stale.push_back(e.path());
        } else if (e.is_directory(ec2) && name.rfind(kPrivatePrefix, 0) == 0) {
            // A folder without a lock file may be one being set up right now: leave it.
            int fd = TryLock(e.path() / kLockName, false);
            if (fd < 0) continue;
            fs::remove_all(e.path(), ec2);
            ::close(fd);
        }
    }
    for (const fs::path& p : stale) fs::remove(p, ec);
}

}  // namespace

SnapshotFolder::SnapshotFolder(const fs::path& settingsFolder) : path_(settingsFolder) {
    std::error_code ec;
    fs::create_directories(settingsFolder, ec);
    lockFile_ = settingsFolder / kLockName;
    lockFd_ = TryLock(lockFile_, true);
    if (lockFd_ >= 0) {
        RemoveLeftovers(settingsFolder);
        return;
    }
    if (!fs::exists(lockFile_, ec)) {
        // The folder cannot even hold a lock file, so no instance can write snapshots into it.
        lockFile_.clear();
        return;
    }
    // Another instance owns the folder: work in a private sub-folder with a lock of its own,
    // or in the system's temporary folder when no sub-folder can be made.
    for (const fs::path& parent : {settingsFolder, fs::temp_directory_path(ec)}) {
        for (int attempt = 0; attempt < 4; ++attempt) {
            std::string tmpl = (parent / (std::string(kPrivatePrefix) + "XXXXXX")).string();
            if (!::mkdtemp(tmpl.data())) break;
            fs::path dir = tmpl;
            int fd = TryLock(dir / kLockName, true);
            if (fd >= 0) {
                path_ = dir;
                lockFile_ = dir / kLockName;
                lockFd_ = fd;
                private_ = true;
                return;
            }
            fs::remove_all(dir, ec);
        }
    }
    lockFile_.clear();
}

SnapshotFolder::~SnapshotFolder() {
    if (private_) {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    if (lockFd_ >= 0) ::close(lockFd_);
}

}  // namespace pq
