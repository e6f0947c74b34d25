// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/JitterBuffer.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// Blocks carry their sequence number in their first byte, so what plays can be read back.
std::string Play(JitterBuffer& j, int times, bool starving = false)
{
    std::string out;
    char block[JitterBuffer::kBlockBytes];
    for (int i = 0; i < times; ++i) {
        switch (j.next(block, starving)) {
        case JitterBuffer::Next::Wait: out += "w "; break;
        case JitterBuffer::Next::Block: out += std::to_string(quint8(block[0])) + ' '; break;
        case JitterBuffer::Next::Repeat: out += 'r' + std::to_string(quint8(block[0])) + ' '; break;
        case JitterBuffer::Next::Silence: out += "s "; break;
        }
    }
    return out;
}

void Put(JitterBuffer& j, std::initializer_list<int> sequences)
{
    for (int s : sequences) {
        char block[JitterBuffer::kBlockBytes] = {char(s & 0xFF)};
        j.put(quint16(s), block);
    }
}

} // namespace

TEST(JitterBuffer, PlaysInSequenceOrderWhateverTheArrivalOrder)
{
    // Arrival order, plays, whether the speaker is starving, what plays.
    const std::tuple<std::vector<int>, int, bool, std::string> rows[] = {
        {{1}, 1, false, "w "}, // one block is not enough to start
        {{1, 2, 3}, 4, false, "1 2 3 w "}, // ran dry: waits to fill up again
        {{3, 1, 2}, 3, false, "1 2 3 "},
        {{1, 2, 2, 1}, 3, false, "1 2 w "}, // duplicates play once
        {{1, 3, 4}, 4, false, "1 r1 3 4 "}, // a hole with blocks behind it is covered
        {{1, 5, 6}, 6, false, "1 r1 s s 5 6 "}, // one repeat, then silence
        {{1, 3}, 3, false, "1 w w "}, // the missing block may still come
        {{1, 3}, 3, true, "1 r1 3 "}, // unless the speaker has nothing left
        {{65534, 65535, 0, 1}, 4, false, "254 255 0 1 "}, // the sequence wraps
    };
    for (const auto& [arrive, plays, starving, expected] : rows) {
        JitterBuffer j;
        for (int s : arrive)
            Put(j, {s});
        EXPECT_EQ(Play(j, plays, starving), expected) << expected;
    }
}

TEST(JitterBuffer, DropsLateBlocksAndFollowsANewStream)
{
    JitterBuffer j;
    Put(j, {10, 11, 12});
    EXPECT_EQ(Play(j, 2), "10 11 ");
    Put(j, {10, 11}); // their turn is over
    EXPECT_EQ(j.late(), 2);
    EXPECT_EQ(Play(j, 1), "12 ");

    Put(j, {1000, 1001}); // far ahead: the sender started again
    EXPECT_EQ(Play(j, 2), std::string("232 233 ")); // 1000 & 255, 1001 & 255

    JitterBuffer full;
    for (int s = 0; s < JitterBuffer::kSlots + 3; ++s)
        Put(full, {s});
    EXPECT_EQ(full.held(), JitterBuffer::kSlots); // the oldest made room
    EXPECT_EQ(Play(full, 1), "3 ");
}
