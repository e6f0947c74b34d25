// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QtGlobal>
#include <array>
#include <cstdint>

// Received audio blocks put back in order by their sequence number before they play. It holds
// a few blocks; a block that comes after its turn or a second time is dropped, and a block that
// never comes is covered by repeating the one before it once, then by silence.
class JitterBuffer
{
public:
    static constexpr int kBlockBytes = 65;
    static constexpr int kSlots = 8; // 320 ms: more would only add delay
    static constexpr int kPrefill = 2; // blocks held before playing starts (80 ms)
    static constexpr int kJump = 50; // a jump this far means the sender started a new stream

    enum class Next { Wait, Block, Repeat, Silence };

    // Stores a block; false when it is late, a duplicate, or not wanted.
    bool put(quint16 sequence, const char* block);
    // What plays next, copied to out (Block and Repeat). starving: the output has nothing
    // queued, so a missing block cannot be waited for any longer.
    Next next(char* out, bool starving);
    void reset();

    int held() const { return held_; }
    bool playing() const { return playing_; }
    int64_t late() const { return late_; }
    int64_t duplicates() const { return duplicates_; }
    int64_t concealed() const { return concealed_; }

private:
    struct Slot
    {
        bool used = false;
        int64_t sequence = 0;
        std::array<char, kBlockBytes> data{};
    };
    int64_t unwrap(quint16 sequence) const;
    Slot* find(int64_t sequence);
    Slot* lowest();
    void drop(Slot& s);

    std::array<Slot, kSlots> slots_{};
    std::array<char, kBlockBytes> last_{};
    bool hasLast_ = false;
    bool hasReference_ = false;
    int64_t reference_ = 0; // the last sequence seen or the next to play, unwrapped
    int64_t next_ = 0;
    bool playing_ = false;
    int held_ = 0;
    int repeats_ = 0; // blocks covered in a row
    int64_t late_ = 0, duplicates_ = 0, concealed_ = 0;
};
