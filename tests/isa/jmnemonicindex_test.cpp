#include <gtest/gtest.h>

#include <cctype>
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
        if (table != nullptr) JList::deleteList(table);
        JMemoryStream stream(text.data(), static_cast<int>(text.size()));
        table = loadDefinitions(&stream);
    }
    void TearDown() override { JList::deleteList(table); }

    // Opcode texts of the chain found for a word, in order.
    std::vector<std::string> chain(const JMnemonicIndex& index, const std::string& word) {
        std::vector<std::string> opcodes;
        for (auto e = index.find(word.data(), static_cast<int>(word.size())); e != nullptr; e = e->nextSame)
            opcodes.push_back(e->record->opcode.data);
        return opcodes;
    }

    // The same by a walk of the table in file order, the word lower-cased:
    // a record's own case is not folded.
    std::vector<std::string> walk(std::string word) {
        for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::vector<std::string> opcodes;
        for (JMMXSet* r = table->nextRecord(); r != table; r = r->nextRecord())
            if (word == r->mnemonic.data) opcodes.push_back(r->opcode.data);
        return opcodes;
    }
};

}  // namespace

TEST_F(IndexTest, ChainsAgreeWithAWalkOfTheTable) {
    std::string text = "movq,x,x,6fh,\nmovd,x,r,6eh,\nmovq,x,m,6fh,\npaddb,x,x,fch,\nmovq,m,x,7fh,\n"
                       "PSUBB,x,x,f8h,\npsubb,x,x,f9h,\nmovd,r,x,7eh,\nemms,x,x,77h,\n";
    for (int i = 0; i < 300; ++i) text += "m" + std::to_string(i % 97) + ",x,x," + std::to_string(i) + "h,\n";
    load(text);
    JMnemonicIndex index(table);
    EXPECT_EQ(chain(index, "movq"), (std::vector<std::string>{"6fh", "6fh", "7fh"}));
    EXPECT_EQ(index.find("movq", 4)->record, table->nextRecord());
    std::vector<std::string> words = {"movd", "MOVD", "PaDdB", "psubb", "PSUBB", "emms", "padd", "paddbb",
                                      "mov", "emms:", "label:", "p", "", "paddb\t"};
    for (int i = 0; i < 120; ++i) words.push_back("m" + std::to_string(i));
    for (const std::string& word : words) EXPECT_EQ(chain(index, word), walk(word)) << word;
    // Only `length` bytes are read: the rest of the line does not matter.
    EXPECT_NE(index.find("paddb mm0, mm1", 5), nullptr);

    load("");
    EXPECT_EQ(JMnemonicIndex(table).find("paddb", 5), nullptr);
}
