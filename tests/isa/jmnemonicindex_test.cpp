#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jmemorystream.h"
#include "jmnemonicindex.h"

namespace {

// A table from definition text; deleted with the fixture.
class IndexTest : public ::testing::Test {
protected:
    JMMXSet* table = nullptr;
    void load(const std::string& text) {
        JMemoryStream stream(text.data(), static_cast<int>(text.size()));
        table = loadDefinitions(&stream);
    }
    void TearDown() override {
        if (table != nullptr) JList::deleteList(table);
    }

    // Opcode texts of the chain found for a mnemonic, in order.
    std::vector<std::string> chain(const JMnemonicIndex& index, const std::string& mnemonic) {
        std::vector<std::string> opcodes;
        for (const JMnemonicIndex::Entry* e = index.find(mnemonic.data(), static_cast<int>(mnemonic.size()));
             e != nullptr; e = e->nextSame)
            opcodes.push_back(e->record->opcode.data);
        return opcodes;
    }

    // The same, by walking the table as the line loop always could.
    std::vector<std::string> walk(const std::string& lowered) {
        std::vector<std::string> opcodes;
        for (JMMXSet* r = table->nextRecord(); r != table; r = r->nextRecord())
            if (lowered == r->mnemonic.data) opcodes.push_back(r->opcode.data);
        return opcodes;
    }
};

}  // namespace

TEST_F(IndexTest, ChainsKeepFileOrderAcrossNonAdjacentRecords) {
    load("movq,x,x,6fh,\nmovd,x,r,6eh,\nmovq,x,m,6fh,\npaddb,x,x,fch,\nmovq,m,x,7fh,\nmovd,r,x,7eh,\n");
    JMnemonicIndex index(table);
    using V = std::vector<std::string>;
    EXPECT_EQ(chain(index, "movq"), (V{"6fh", "6fh", "7fh"}));
    EXPECT_EQ(chain(index, "movd"), (V{"6eh", "7eh"}));
    EXPECT_EQ(chain(index, "paddb"), (V{"fch"}));
    EXPECT_EQ(index.find("movq", 4)->record, table->nextRecord());
}

TEST_F(IndexTest, SourceCaseIsFoldedTableCaseIsNot) {
    load("paddb,x,x,fch,\nPSUBB,x,x,f8h,\npsubb,x,x,f8h,\n");
    JMnemonicIndex index(table);
    EXPECT_EQ(chain(index, "PADDB").size(), 1u);
    EXPECT_EQ(chain(index, "PaDdB").size(), 1u);
    // The upper-case record never matches, as in a walk of the table.
    EXPECT_EQ(chain(index, "psubb"), walk("psubb"));
    EXPECT_EQ(chain(index, "psubb").size(), 1u);
}

TEST_F(IndexTest, UnknownPrefixesAndLongerWordsFindNothing) {
    load("paddb,x,x,fch,\npaddw,x,x,fdh,\nemms,x,x,77h,\n");
    JMnemonicIndex index(table);
    for (const char* word : {"padd", "paddbb", "mov", "emms:", "label:", "p", "", "paddb\t"})
        EXPECT_EQ(index.find(word, static_cast<int>(std::string(word).size())), nullptr) << word;
    // Only `length` bytes are read: the rest of the line does not matter.
    EXPECT_NE(index.find("paddb mm0, mm1", 5), nullptr);
}

TEST_F(IndexTest, EmptyTableAndManyMnemonicsAgreeWithTheWalk) {
    load("");
    JMnemonicIndex empty(table);
    EXPECT_EQ(empty.find("paddb", 5), nullptr);
    JList::deleteList(table);

    std::string text;
    for (int i = 0; i < 300; ++i) text += "m" + std::to_string(i % 97) + ",x,x," + std::to_string(i) + "h,\n";
    load(text);
    JMnemonicIndex index(table);
    for (int i = 0; i < 120; ++i) {
        std::string m = "m" + std::to_string(i);
        EXPECT_EQ(chain(index, m), walk(m)) << m;
    }
}
