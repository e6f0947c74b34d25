// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/JitterBuffer.h"

#include <cstring>

int64_t JitterBuffer::unwrap(quint16 sequence) const
{
    const int64_t ref = playing_ ? next_ : reference_;
    return ref + int16_t(quint16(sequence - quint16(ref & 0xFFFF)));
}

JitterBuffer::Slot* JitterBuffer::find(int64_t sequence)
{
    for (Slot& s : slots_)
        if (s.used && s.sequence == sequence)
            return &s;
    return nullptr;
}

JitterBuffer::Slot* JitterBuffer::lowest()
{
    Slot* low = nullptr;
    for (Slot& s : slots_)
        if (s.used && (!low || s.sequence < low->sequence))
            low = &s;
    return low;
}

void JitterBuffer::drop(Slot& s)
{
    s.used = false;
    --held_;
}

bool JitterBuffer::put(quint16 sequence, const char* block)
{
    if (!hasReference_) {
        reference_ = sequence;
        hasReference_ = true;
    }
    int64_t seq = unwrap(sequence);
    const int64_t ahead = seq - (playing_ ? next_ : reference_);
    if (ahead >= kJump || ahead <= -kJump) { // the sender started over
        reset();
        reference_ = sequence;
        hasReference_ = true;
        seq = sequence;
    } else if (playing_ && seq < next_) {
        ++late_;
        return false;
    }
    if (find(seq)) {
        ++duplicates_;
        return false;
    }
    if (held_ == kSlots) {
        // The output falls behind the sender: the oldest block goes.
        Slot* low = lowest();
        if (low->sequence > seq) {
            ++late_;
            return false;
        }
        if (playing_ && low->sequence >= next_)
            next_ = low->sequence + 1;
        drop(*low);
    }
    for (Slot& s : slots_) {
        if (!s.used) {
            s.used = true;
            s.sequence = seq;
            std::memcpy(s.data.data(), block, kBlockBytes);
            ++held_;
            break;
        }
    }
    if (!playing_)
        reference_ = seq;
    return true;
}

JitterBuffer::Next JitterBuffer::next(char* out, bool starving)
{
    if (!playing_) {
        if (held_ < kPrefill)
            return Next::Wait;
        playing_ = true;
        next_ = lowest()->sequence;
    }
    if (Slot* s = find(next_)) {
        std::memcpy(out, s->data.data(), kBlockBytes);
        last_ = s->data;
        hasLast_ = true;
        drop(*s);
        ++next_;
        repeats_ = 0;
        return Next::Block;
    }
    if (held_ == 0) { // ran dry: fill up again before playing on
        playing_ = false;
        reference_ = next_;
        return Next::Wait;
    }
    if (!starving && held_ < kPrefill)
        return Next::Wait; // the missing block may still come
    ++next_;
    ++concealed_;
    if (repeats_++ == 0 && hasLast_) {
        std::memcpy(out, last_.data(), kBlockBytes);
        return Next::Repeat;
    }
    return Next::Silence;
}

void JitterBuffer::reset()
{
    for (Slot& s : slots_)
        s.used = false;
    held_ = 0;
    playing_ = false;
    hasLast_ = false;
    hasReference_ = false;
    repeats_ = 0;
}
