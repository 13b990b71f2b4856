// The order of a batched write of several windows' history files: every content is written,
// the file system is flushed, and only then is any file named; a last flush makes the names
// durable. The write steps come from the atomic writer's hook; the flushes from syncfs, which
// this test binary defines over the C library's so that it sees every call.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/document/history.h"
#include "core/io/atomic_write.h"
#include "support/test_paths.h"

namespace {
// W a content written, S a flush of one file, L a name given to an unnamed file, R a rename,
// F a flush of the whole file system.
std::string g_log;
bool g_logging = false;
}  // namespace

int syncfs(int fd) noexcept {
    if (g_logging) g_log += 'F';
    using Real = int (*)(int);
    static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "syncfs"));
    return real ? real(fd) : 0;
}

namespace pq {
namespace {

int LogStep(WriteStep step, std::size_t&) {
    switch (step) {
    case WriteStep::Write: g_log += 'W'; break;
    case WriteStep::Sync: g_log += 'S'; break;
    case WriteStep::Link: g_log += 'L'; break;
    case WriteStep::Rename: g_log += 'R'; break;
    case WriteStep::CreateUnnamed: break;
    }
    return 0;
}

class LoggedSteps {
public:
    LoggedSteps() {
        g_log.clear();
        g_logging = true;
        SetWriteStepHook(LogStep);
    }
    ~LoggedSteps() {
        SetWriteStepHook(nullptr);
        g_logging = false;
    }
};

std::string Normalised(std::string log) {
    for (char& c : log)
        if (c == 'L' || c == 'R') c = 'N';
    return log;
}

// `files` contents written, then one flush, then the names (a link for a new file; a link to a
// temporary name and a rename for one replaced), then one flush; no file flushed on its own.
void ExpectWrittenFlushedNamedFlushed(const std::string& raw, std::size_t files) {
    const std::string log = Normalised(raw);
    const std::string written(files, 'W');
    ASSERT_EQ(log.substr(0, files + 1), written + "F") << raw;
    const std::string rest = log.substr(files + 1);
    ASSERT_GE(rest.size(), files + 1) << raw;
    EXPECT_EQ(rest, std::string(rest.size() - 1, 'N') + "F") << raw;
}

TEST(HistoryBatch, ContentsAreFlushedBeforeAnyFileIsNamed) {
    test::TempDir dir;
    // Three pages, odd and not square; two have recovery notes, so five files are new.
    std::vector<Document> docs(3);
    std::vector<HistoryContext> ctxs;
    const int sizes[][2] = {{7, 3}, {2, 9}, {16, 32}};
    for (int i = 0; i < 3; ++i) {
        InitBlankDocument(docs[std::size_t(i)], sizes[i][0], sizes[i][1], 16, 20);
        HistoryContext ctx{dir.Path(), 20 + i, true};
        if (i != 1) ctx.Label = WindowLabel{"set", "/x/set.ico", 20, i, 0};
        ctxs.push_back(ctx);
    }
    std::vector<Document*> ptrs{&docs[0], &docs[1], &docs[2]};
    {
        LoggedSteps logged;
        const std::vector<HistoryResult> r = RecordSteps(ptrs, ctxs, " ");
        for (const HistoryResult& one : r) EXPECT_TRUE(one.Ok) << one.Message;
        ExpectWrittenFlushedNamedFlushed(g_log, 5);
    }
    // A second step: the notes are replaced (renamed over), the snapshots are new.
    for (Document& d : docs) d.LayerAt(0).Mask[0] = 1;
    {
        LoggedSteps logged;
        const std::vector<HistoryResult> r = RecordSteps(ptrs, ctxs, "筆");
        for (const HistoryResult& one : r) EXPECT_TRUE(one.Ok) << one.Message;
        ExpectWrittenFlushedNamedFlushed(g_log, 5);
    }
    for (int i = 0; i < 3; ++i) EXPECT_EQ(docs[std::size_t(i)].HistoryPosition, 2) << i;
    // Notes alone, rewritten together.
    {
        LoggedSteps logged;
        const std::vector<const Document*> cptrs{&docs[0], &docs[1], &docs[2]};
        EXPECT_EQ(WriteRecoveryNotes(cptrs, ctxs), (std::vector<int>{0, 0, 0}));
        ExpectWrittenFlushedNamedFlushed(g_log, 2);
    }
}

TEST(HistoryBatch, OneWindowAloneFlushesEachFileBeforeNamingIt) {
    // The ordinary path for comparison: the note, then the snapshot, each flushed on its own
    // before it is named.
    test::TempDir dir;
    Document doc;
    InitBlankDocument(doc, 5, 3, 16, 20);
    const HistoryContext ctx{dir.Path(), 3, true, WindowLabel{"Icon3", ""}};
    LoggedSteps logged;
    ASSERT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
    const std::string log = Normalised(g_log);
    EXPECT_EQ(log.find('F'), std::string::npos) << log;
    for (std::size_t at = log.find('N'); at != std::string::npos; at = log.find('N', at + 1))
        EXPECT_EQ(log.substr(0, at).rfind('S'), at - 1) << log;
}

}  // namespace
}  // namespace pq
