// The class library where pakhod's runs do not reach it: integer text over
// the whole range, self-assignment, the list operations pakhod never calls,
// open modes other than pakhod's, and a buffered stream
// under every mix of operations.
#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "jbufferedstream.h"
#include "jlist.h"
#include "jstring.h"
#include "jwinfile.h"
#include "memory_stream.h"

TEST(JString, IntegerTextConcatFormsAndCase) {
    const int edges[] = {0, -45, 9, 10, -10, 99999, INT_MAX, INT_MIN, INT_MIN + 1, -1};
    uint32_t x = 12345;
    for (int i = 0; i < 20000; ++i) {
        x = x * 1664525u + 1013904223u;  // every magnitude, from a pseudo-random walk
        const int v = i < 10 ? edges[i] : static_cast<int32_t>(x) / (1 << (i % 31));
        const std::string want = std::to_string(v);
        JString s, t(">");
        ASSERT_EQ(std::string(s.assign(v).data) + (t + v).data + (v + t).data + (t + long{v}).data +
                      JString("<").append(v).data,
                  want + ">" + want + want + ">>" + want + "<" + want);
    }
    EXPECT_STREQ(JString().assign(LONG_MIN).data, "-9223372036854775808");
    const JString l("ab"), r("cd");
    EXPECT_EQ(std::string((l + r).data) + (l + "x").data + ("x" + r).data + (l + 'z').data + ('z' + r).data +
                  (l + '\0').data + JString('\0').data + JString(40).data + JString(0).data + l.data + r.data,
              "abcdabxxcdabzzcdababcd");
    std::string all;  // every byte but zero: only ASCII letters change case
    for (int i = 1; i < 256; ++i) all += static_cast<char>(i);
    JString lower(all.c_str()), upper(all.c_str());
    lower.toLower();
    upper.toUpper();
    for (int i = 1; i < 256; ++i)
        ASSERT_EQ(static_cast<unsigned char>(lower.data[i - 1]) * 256 + static_cast<unsigned char>(upper.data[i - 1]),
                  (i >= 'A' && i <= 'Z' ? i + 32 : i) * 256 + (i >= 'a' && i <= 'z' ? i - 32 : i));
}

// The argument is read before the old buffer is freed.
TEST(JString, SelfAssignAndSelfAppend) {
    JString s("abcd");
    EXPECT_STREQ(s.append(s).data, "abcdabcd");
    EXPECT_STREQ(s.append(s.data + 6).append(s.data[1]).data, "abcdabcdcdb");
    EXPECT_STREQ(s.assign(s).assign(s.data + 8).data, "cdb");
    s = s + s;
    EXPECT_STREQ(s.data, "cdbcdb");
    s.allocate(6);
    std::memcpy(s.data, "ab\0cd", 6);  // bytes after a zero take no part
    EXPECT_TRUE(s == JString("ab") && s != JString("abc") && s != JString("aB") && JString(s) == JString("ab"));
    s.release();
    EXPECT_STREQ(s.data == nullptr ? s.assign(-12).data : "not released", "-12");
}

namespace {

// A node with a one-letter name, so that a ring reads as a string. Named
// nodes order by their letter whatever its case (so that a stable sort shows),
// unless `ordered` is off; they count themselves, so deletions show.
struct Named : JList {
    explicit Named(char c, bool ordered = true) : name(c), ordered(ordered) { ++alive; }
    ~Named() override { --alive; }
    // The name of a Named, or of the one a list node holds ('H' for none).
    static char nameOf(JObject* node) {
        auto* holder = dynamic_cast<JObjectList*>(node);
        JObject* named = holder ? holder->object : node;
        return named ? dynamic_cast<Named*>(named)->name : 'H';
    }
    static int key(JObject* node) { return std::tolower(nameOf(node)); }
    int isLessThan(JObject* other) override { return ordered ? key(this) < key(other) : JList::isLessThan(other); }
    int isGreaterThan(JObject* other) override { return ordered ? key(this) > key(other) : JList::isGreaterThan(other); }
    char name;
    bool ordered;
    static int alive;
};
int Named::alive = 0;

// Names going round from start, every link checked on the way.
std::string ring(JList* start) {
    std::string out;
    JList* node = start;
    for (int guard = 0; guard < 100 && (out += Named::nameOf(node), (node = node->next) != start); ++guard)
        if (node->prev->next != node || node->next->prev != node) return "broken";
    return out;
}

// A head 'H' with the given element names.
struct Ring {
    explicit Ring(const char* names, bool ordered = true) : head('H') {
        for (const char* p = names; *p; ++p) head.add((nodes[*p & 127] = std::make_unique<Named>(*p, ordered)).get());
    }
    JList* operator[](char c) { return nodes[c & 127].get(); }
    Named head;
    std::unique_ptr<Named> nodes[128];
};

}  // namespace

TEST(JList, LinksSwapsAndExchanges) {
    Ring r("abcdef");
    EXPECT_EQ(r.head.count() * 100 + (r.head.nth(2) == r['b']) * 10 + (r.head.nth(8) == r['a']), 611);
    EXPECT_EQ(ring(r.head.reverse()->reverse()->reverse()), "Hfedcba");
    r.head.reverse();
    r['b']->swapNext(r['e']);  // b goes on with what followed e, e with what followed b
    EXPECT_EQ(ring(r['b']) + " " + ring(r['e']), "bfHa ecd");
    r['b']->swapNext(r['e'])->swapPrev(r['e']);
    EXPECT_EQ(ring(r['b']) + " " + ring(r['e']), "bcd efHa");
    r['b']->swapPrev(r['e']);
    r.nodes['f'].reset();  // a deleted node unlinks itself
    EXPECT_EQ(ring(&r.head), "Habcde");
    // Element names, the calling node and its argument, the ring afterwards
    // and where the other ended; 'x' is a lone node, "pq" a second ring.
    const char* const rows[][4] = {
        {"abcd", "bc", "Hacbd", ""}, {"abcd", "cb", "Hacbd", ""}, {"abcd", "ad", "Hdbca", ""},
        {"abcd", "da", "Hdbca", ""}, {"abcd", "bb", "Habcd", ""}, {"ab", "ab", "Hba", ""},
        {"abc", "bx", "Haxc", "b"},  {"abc", "xb", "Haxc", "b"},  {"abc", "bp", "Hapc", "Hbq"},
    };
    for (const auto& row : rows) {
        Ring r(row[0]), other("pq");
        Named x('x');
        auto find = [&](char c) -> JList* { return c == 'x' ? &x : c == 'p' ? other['p'] : r[c]; };
        find(row[1][0])->exchange(find(row[1][1]));
        EXPECT_EQ(ring(&r.head) + " " + (*row[3] ? ring(*row[3] == 'b' ? r['b'] : &other.head) : ""),
                  std::string(row[2]) + " " + row[3]) << row[1];
    }
    Named a('a'), b('b'), p('p'), q('q');
    a.add(&b);
    a.exchange(&b);  // a ring of exactly two stays intact
    p.exchange(&q);  // two lone nodes stay two lone nodes
    EXPECT_EQ(ring(&a) + " " + ring(&p) + " " + ring(&q), "ab p q");
}

TEST(JList, SortIsStableBothWaysAndListsOwnTheirObjects) {
    Ring r("cAbaCB"), plain("dcab", false), empty("");
    EXPECT_EQ(r.head.sort(1, nullptr), 1);
    EXPECT_EQ(ring(&r.head), "HAabBcC");
    r.head.sort(0, nullptr);
    EXPECT_EQ(ring(&r.head), "HcCbBAa");
    r.head.nth(2)->sort(1, r.head.nth(6));  // only b B A
    EXPECT_EQ(ring(&r.head), "HcCAbBa");
    EXPECT_EQ(r.head.nth(2)->sort(1, r.head.nth(3)), 1);  // an empty range
    EXPECT_EQ(ring(&r.head), "HcCAbBa");
    EXPECT_EQ(plain.head.sort(0, nullptr) + plain.head.sort(1, nullptr) + empty.head.sort(1, nullptr), 3);
    EXPECT_EQ(ring(&plain.head) + ring(&empty.head), "HdcabH");  // unordered nodes compare as equal: nothing moves
    const int before = Named::alive;
    auto* list = new JObjectList(nullptr);
    Named* b = new Named('b');
    JObject* held = b;  // kept as a JObject: once b is deleted, reaching its virtual base is not allowed
    for (Named* n : {new Named('c'), b, new Named('a'), new Named('B')}) list->addObject(n);
    list->sort(1, nullptr);  // asks the objects, with the other node as the argument
    EXPECT_EQ(ring(list), "HabBc");
    list->removeObject(held);
    EXPECT_EQ(ring(list) + (list->findObject(held) == nullptr ? "" : " b found"), "HaBc");
    EXPECT_EQ(Named::alive, before + 3);
    JList::deleteList(list);
    EXPECT_EQ(Named::alive, before);
}

TEST(JWinFile, ModesSeeksAndClosedFiles) {
    const std::string f = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/jwinfile_test";
    JWinFile file;
    EXPECT_EQ(file.open(nullptr, 1) + file.open(f.c_str(), 1) + file.open(f.c_str(), 3), 0);
    // Mode, the file before (null: none), what is written, the file after.
    const char* const rows[][4] = {{"3", "0123456789", "ab", "ab23456789"}, {"7", "0123456789", "Z", "Z123456789"},
                                   {"2", "0123456789", "new", "new"}, {"2", nullptr, "", ""},
                                   {"1", "0123456789", "x", "0123456789"}};
    for (const auto& row : rows) {
        std::remove(f.c_str());
        if (row[1]) std::ofstream(f) << row[1];
        ASSERT_EQ(file.open(f.c_str(), *row[0] - '0'), 1) << row[0];
        const int n = static_cast<int>(std::strlen(row[2]));
        EXPECT_EQ(file.write(row[2], n) + file.write(row[2], -1), *row[0] == '1' ? 0 : n) << row[0];
        EXPECT_EQ(file.size(), std::strlen(row[3])) << row[0];
        file.close();
        std::ifstream in(f, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), row[3]) << row[0];
    }
    ASSERT_EQ(file.open(f.c_str(), 1) + file.open(f.c_str(), 1), 2);  // the first is let go, not leaked
    char c = 0;
    // Offset, origin, result, the byte read next (0: none).
    const int seeks[][4] = {{2, 0, 1, '2'}, {-1, 1, 1, '2'}, {-1, 0, 0, '3'}, {-2, 2, 1, '8'}, {0, 2, 1, 0}, {3, 5, 1, 0}};
    for (const auto& s : seeks) EXPECT_EQ(file.seek(s[0], s[1]) * 1000 + file.readByte(), s[2] * 1000 + s[3]) << s[0] << "/" << s[1];
    ASSERT_EQ(file.open(f.c_str(), 3) + file.writeByte('Q') + file.seek(0, 0), 3);
    file.close();
    JWinFile other;  // takes the descriptor the closed file let go, which that file must not touch again
    ASSERT_EQ(other.open(f.c_str(), 1), 1);
    file.close();
    EXPECT_EQ(file.read(&c, 1) + file.writeByte('x') + file.seek(0, 0) + file.size(), 0xFFFFFFFFu);
    EXPECT_EQ(other.read(&c, 1), 1);
    other.close();
    // Mode 2 over a longer file: a seek back keeps the bytes written after
    // it, and the end (for seeks and the size) is that of the bytes written.
    ASSERT_EQ(file.open(f.c_str(), 2) + file.write("abcdef", 6) + file.seek(-4, 2) + file.write("X", 1), 9);
    EXPECT_EQ(file.size(), 6u);
    file.close();
    std::ifstream over(f, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(over), std::istreambuf_iterator<char>()), "abXdef");
    std::remove(f.c_str());
}

// Random reads, writes, seeks, byte operations and reopenings, on a buffered
// stream and on the bare one: the same results and the same bytes.
TEST(JBufferedStream, BehavesLikeTheBareStream) {
    const std::string digits = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int capacity : {0, 1, 3, 8, 64})  // 0 asks for the least buffer, one byte
        for (uint32_t seed = 1; seed <= 40; ++seed) {
            MemoryStream bare(digits.substr(0, 20)), inner(digits.substr(0, 20));
            JBufferedStream buffered(&inner, capacity);
            uint32_t x = seed;
            auto next = [&x](uint32_t n) { return ((x = x * 1103515245u + 12345u) >> 16) % n; };
            for (int step = 0; step < 60; ++step) {
                const int op = static_cast<int>(next(7)), n = static_cast<int>(next(12));
                char a[16] = {}, b[16] = {};
                SCOPED_TRACE("capacity " + std::to_string(capacity) + " seed " + std::to_string(seed) + " step " +
                             std::to_string(step) + " op " + std::to_string(op));
                switch (op) {
                    case 0: ASSERT_EQ(std::to_string(bare.read(a, n)) + a, std::to_string(buffered.read(b, n)) + b); break;
                    case 1: ASSERT_EQ(bare.write(digits.data() + n, n), buffered.write(digits.data() + n, n)); break;
                    case 2: ASSERT_EQ(bare.seek(n * 3 - 10, n % 3), buffered.seek(n * 3 - 10, n % 3)); break;
                    case 3: ASSERT_EQ(bare.readByte(), buffered.readByte()); break;
                    case 4: ASSERT_EQ(bare.writeByte('#'), buffered.writeByte('#')); break;
                    case 5: ASSERT_EQ(bare.size(), buffered.size()); break;
                    default: ASSERT_EQ(n < 3 && bare.open("any", 1 + n), n < 3 && buffered.open("any", 1 + n));
                }
            }
            ASSERT_EQ(buffered.flush(), 1);
            ASSERT_EQ(inner.content, bare.content) << "capacity " << capacity << " seed " << seed;
        }
    // A failed write is reported by every flush until the stream is opened again.
    MemoryStream full;
    full.writeBudget = 3;
    JBufferedStream buffered(&full, 4);
    EXPECT_EQ(buffered.write("abcdef", 6) + buffered.flush() + buffered.flush(), 0);
    full.writeBudget = 2;
    EXPECT_EQ(buffered.open("any", 2) + buffered.write("ab", 2) + buffered.flush(), 4);
    // Bytes that would overflow a buffer its stream refuses are not taken.
    full.writeBudget = 0;
    EXPECT_EQ(buffered.open("any", 2) + buffered.write("ab", 2) + buffered.write("abc", 3) + buffered.flush(), 3);
    // The end of a stream whose size cannot be had is no place to seek to.
    full.unsized = true;
    EXPECT_EQ(buffered.seek(0, 2), 0);
}
