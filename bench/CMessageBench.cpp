// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding speed of CMessage against GMime 3 on the same corpus of .eml files.
//
// The corpus folder comes from the first argument that is not a --benchmark option, or from
// KORVALEN_CORPUS; without either, make-corpus.py writes one into a temporary folder.

#include "protocols/CMessage.h"

#include <benchmark/benchmark.h>
#include <gmime/gmime.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Corpus
{
    std::vector<QByteArray> messages;
    int64_t bytes = 0;
};

// Files are named NNNNN-kind.eml; the kind groups them.
std::map<std::string, Corpus> loadCorpus(const QString& folder)
{
    std::map<std::string, Corpus> corpus;
    const QStringList names = QDir(folder).entryList({"*.eml"}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        QFile f(QDir(folder).filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray data = f.readAll();
        const qsizetype dash = name.indexOf('-');
        const std::string kind = dash < 0 ? "other" : name.mid(dash + 1).chopped(4).toStdString();
        for (const std::string& group : {std::string("all"), kind}) {
            corpus[group].messages.push_back(data);
            corpus[group].bytes += data.size();
        }
    }
    return corpus;
}

bool generateCorpus(const QString& folder)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start("python3", {QStringLiteral(KORVALEN_CORPUS_SCRIPT), folder});
    return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

void BM_CMessage(benchmark::State& state, const Corpus* corpus)
{
    CMessage message; // one object for the whole session, as the program uses it
    for (auto _ : state) {
        for (const QByteArray& raw : corpus->messages) {
            message.CreateFromText(raw);
            benchmark::DoNotOptimize(message.MessageBody().size());
            benchmark::DoNotOptimize(message.Subject.size());
            benchmark::DoNotOptimize(message.From.size());
        }
    }
    state.SetItemsProcessed(state.iterations() * int64_t(corpus->messages.size()));
    state.SetBytesProcessed(state.iterations() * corpus->bytes);
}

struct TextParts
{
    GMimeTextPart* plain = nullptr;
    GMimeTextPart* html = nullptr;
};

void findTextParts(GMimeObject*, GMimeObject* part, gpointer data)
{
    auto* found = static_cast<TextParts*>(data);
    if (!GMIME_IS_TEXT_PART(part))
        return;
    GMimeContentType* type = g_mime_object_get_content_type(part);
    if (!found->plain && g_mime_content_type_is_type(type, "text", "plain"))
        found->plain = GMIME_TEXT_PART(part);
    else if (!found->html && g_mime_content_type_is_type(type, "text", "html"))
        found->html = GMIME_TEXT_PART(part);
}

// Parse, then the work the program does with a message: subject, sender and body text.
size_t gmimeDecode(const QByteArray& raw)
{
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(raw.constData(), size_t(raw.size()));
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    g_object_unref(stream);
    GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
    g_object_unref(parser);
    if (!message)
        return 0;

    size_t touched = 0;
    if (const char* subject = g_mime_message_get_subject(message))
        touched += std::strlen(subject);
    if (InternetAddressList* from = g_mime_message_get_from(message)) {
        char* text = internet_address_list_to_string(from, nullptr, FALSE);
        touched += text ? std::strlen(text) : 0;
        g_free(text);
    }
    TextParts parts;
    g_mime_message_foreach(message, findTextParts, &parts); // the top part, then any children
    if (GMimeTextPart* part = parts.plain ? parts.plain : parts.html) {
        char* text = g_mime_text_part_get_text(part);
        touched += text ? std::strlen(text) : 0;
        g_free(text);
    }
    g_object_unref(message);
    return touched;
}

void BM_GMime(benchmark::State& state, const Corpus* corpus)
{
    for (auto _ : state) {
        for (const QByteArray& raw : corpus->messages)
            benchmark::DoNotOptimize(gmimeDecode(raw));
    }
    state.SetItemsProcessed(state.iterations() * int64_t(corpus->messages.size()));
    state.SetBytesProcessed(state.iterations() * corpus->bytes);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);

    QString folder = qEnvironmentVariable("KORVALEN_CORPUS");
    if (argc > 1)
        folder = QString::fromLocal8Bit(argv[1]);
    std::unique_ptr<QTemporaryDir> temp;
    if (folder.isEmpty()) {
        temp = std::make_unique<QTemporaryDir>();
        folder = temp->path();
        std::fprintf(stderr, "no corpus given; generating one in %s\n", qPrintable(folder));
        if (!temp->isValid() || !generateCorpus(folder)) {
            std::fprintf(stderr, "korvalen-bench: could not generate a corpus; pass a folder of "
                                 ".eml files or set KORVALEN_CORPUS\n");
            return 2;
        }
    }

    const std::map<std::string, Corpus> corpus = loadCorpus(folder);
    if (corpus.empty()) {
        std::fprintf(stderr, "korvalen-bench: no .eml files in %s\n", qPrintable(folder));
        return 2;
    }
    const Corpus& all = corpus.at("all");
    std::fprintf(stderr, "corpus: %zu messages, %.1f MB from %s\n", all.messages.size(), double(all.bytes) / 1e6,
                 qPrintable(folder));

    g_mime_init();
    for (const auto& [kind, group] : corpus) {
        benchmark::RegisterBenchmark(("CMessage/" + kind).c_str(), BM_CMessage, &group)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("GMime/" + kind).c_str(), BM_GMime, &group)->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_mime_shutdown();
    return 0;
}
