// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QtGlobal>
#include <cmath>
#include <utility>
#include <vector>

namespace tones {

inline std::vector<qint16> Sine(double freq, int samples, double level, double rate = 8000)
{
    std::vector<qint16> s(static_cast<size_t>(samples));
    for (int i = 0; i < samples; ++i)
        s[size_t(i)] = qint16(std::lround(level * 32767 * std::sin(2 * M_PI * freq * i / rate)));
    return s;
}

// The samples s[from, from + n); n of 0, or past the end, means up to the end.
inline size_t Span(const std::vector<qint16>& s, size_t from, size_t n)
{
    return n == 0 || from + n > s.size() ? (s.size() > from ? s.size() - from : 0) : n;
}

// Power of one frequency in the span, normalised to the square of the amplitude.
inline double Power(const std::vector<qint16>& s, double freq, size_t from = 0, size_t n = 0, double rate = 8000)
{
    n = Span(s, from, n);
    const double coeff = 2 * std::cos(2 * M_PI * freq / rate);
    double q1 = 0, q2 = 0;
    for (size_t i = from; i < from + n; ++i)
        q2 = std::exchange(q1, coeff * q1 - q2 + s[i] / 32767.0);
    return n ? 4 * (q1 * q1 + q2 * q2 - coeff * q1 * q2) / (double(n) * double(n)) : 0;
}

inline double Rms(const std::vector<qint16>& s, size_t from = 0, size_t n = 0)
{
    n = Span(s, from, n);
    double sum = 0;
    for (size_t i = from; i < from + n; ++i)
        sum += double(s[i]) * s[i];
    return n ? std::sqrt(sum / double(n)) : 0;
}

} // namespace tones
