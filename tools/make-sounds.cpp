// SPDX-License-Identifier: GPL-3.0-or-later
// Makes the program's sounds in the internet call's format (GSM 6.10, 8 kHz, mono):
//
//   signon.wav   sign-on chime: two bell notes rising a fifth, C5 (523 Hz) then G5 (784 Hz),
//                each with a quieter octave partial, a 5 ms attack and a 150 ms decay.
//   signoff.wav  sign-off chime: the same two notes falling, G5 then C5.
//   1.wav        key prompt: one 90 ms pip at 800 Hz.
//   2.wav        key prompt: two 90 ms pips at 1000 Hz, 60 ms apart.
//   3.wav        key prompt: three 90 ms pips at 1200 Hz, 60 ms apart.
//   ring1.wav    telephone ring: one 1.2 s burst of 440 + 480 Hz.
//   ring2.wav    telephone ring: a double burst of 440 + 480 Hz, 0.4 s on, 0.2 s off, 0.4 s on.
//
// Every burst starts and ends on a 5-20 ms raised-cosine ramp so nothing clicks. The output
// depends on nothing but this file, so running it again gives the same bytes.
//
// usage: korvalen-make-sounds [output-folder]   (default: ./data)

#include "OutputFolderArgument.h"
#include "audio/GsmWave.h"

#include <QDir>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr double kRate = audio::kGsmSampleRate;
constexpr double kPi = 3.14159265358979323846;

// A sound being built, in floating point, full scale = 1.
struct Track
{
    std::vector<double> s;

    void reach(double seconds)
    {
        const size_t n = size_t(std::lround(seconds * kRate));
        if (s.size() < n)
            s.resize(n, 0.0);
    }

    // A steady mix of tones with raised-cosine ramps at both ends.
    void burst(double at, double length, std::initializer_list<double> freqs, double level, double ramp)
    {
        reach(at + length);
        const size_t first = size_t(std::lround(at * kRate));
        const size_t n = size_t(std::lround(length * kRate));
        const size_t r = size_t(std::lround(ramp * kRate));
        for (size_t i = 0; i < n; ++i) {
            double env = 1.0;
            if (i < r)
                env = 0.5 - 0.5 * std::cos(kPi * double(i) / double(r));
            else if (n - i <= r)
                env = 0.5 - 0.5 * std::cos(kPi * double(n - i) / double(r));
            double v = 0.0;
            for (double f : freqs)
                v += std::sin(2.0 * kPi * f * double(i) / kRate);
            s[first + i] += level * env * v;
        }
    }

    // A struck bell note: fundamental plus a quieter octave, fast attack, exponential decay.
    void bell(double at, double length, double freq, double level)
    {
        reach(at + length);
        const size_t first = size_t(std::lround(at * kRate));
        const size_t n = size_t(std::lround(length * kRate));
        const size_t attack = size_t(0.005 * kRate);
        const size_t release = size_t(0.020 * kRate);
        for (size_t i = 0; i < n; ++i) {
            const double t = double(i) / kRate;
            double env = std::exp(-t / 0.15);
            if (i < attack)
                env *= double(i) / double(attack);
            if (n - i <= release)
                env *= double(n - i) / double(release);
            const double v = std::sin(2.0 * kPi * freq * t) + 0.3 * std::sin(2.0 * kPi * 2.0 * freq * t);
            s[first + i] += level * env * v;
        }
    }

    std::vector<qint16> samples() const
    {
        std::vector<qint16> out(s.size());
        for (size_t i = 0; i < s.size(); ++i)
            out[i] = qint16(std::lround(std::clamp(s[i], -1.0, 1.0) * 32767.0));
        return out;
    }
};

Track Chime(double first, double second)
{
    Track t;
    t.bell(0.00, 0.35, first, 0.45);
    t.bell(0.18, 0.45, second, 0.45);
    t.reach(0.68);
    return t;
}

Track Pips(int count, double freq)
{
    Track t;
    for (int i = 0; i < count; ++i)
        t.burst(0.02 + i * 0.15, 0.09, {freq}, 0.5, 0.005);
    t.reach(0.02 + count * 0.15);
    return t;
}

Track Ring(std::initializer_list<std::pair<double, double>> bursts)
{
    Track t;
    for (auto [at, length] : bursts)
        t.burst(at, length, {440.0, 480.0}, 0.3, 0.02);
    return t;
}

} // namespace

int main(int argc, char** argv)
{
    const OutputFolderArgument argument =
        ReadOutputFolderArgument(argc, argv,
                                 "Makes the program's sounds in the internet call's GSM 6.10 format: the sign-on and\n"
                                 "sign-off chimes, the key prompts 1.wav to 3.wav and the two rings.");
    if (argument.exitCode >= 0)
        return argument.exitCode;
    const QDir folder(QString::fromLocal8Bit(argument.folder.c_str()));
    if (!folder.exists() && !QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "cannot make %s\n", qPrintable(folder.path()));
        return 1;
    }

    const std::pair<const char*, Track> sounds[] = {
        {"signon.wav", Chime(523.25, 783.99)},
        {"signoff.wav", Chime(783.99, 523.25)},
        {"1.wav", Pips(1, 800.0)},
        {"2.wav", Pips(2, 1000.0)},
        {"3.wav", Pips(3, 1200.0)},
        {"ring1.wav", Ring({{0.0, 1.2}})},
        {"ring2.wav", Ring({{0.0, 0.4}, {0.6, 0.4}})},
    };
    for (const auto& [name, track] : sounds) {
        QString error;
        const QString path = folder.filePath(QString::fromLatin1(name));
        if (!audio::WriteGsmWave(path, track.samples(), &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        std::printf("%s: %.2f s\n", qPrintable(path), double(track.s.size()) / kRate);
    }
    return 0;
}
