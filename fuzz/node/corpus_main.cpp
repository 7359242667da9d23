// Runs the fuzz target over its seed corpus and a fixed number of mutations
// made with a fixed seed, so the run is the same every time (used by ctest
// where libFuzzer is not available).
#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {
void run(const QByteArray &input)
{
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.constData()), size_t(input.size()));
}

QByteArray mutate(const QByteArray &in, const std::vector<QByteArray> &all, std::mt19937 &rng)
{
    QByteArray out = in;
    const int steps = 1 + int(rng() % 4);
    for (int s = 0; s < steps; ++s) {
        const auto pos = [&] { return out.isEmpty() ? 0 : qsizetype(rng() % quint32(out.size())); };
        switch (rng() % 7) {
        case 0:
            if (!out.isEmpty())
                out[pos()] = char(out[pos()] ^ char(1 << (rng() % 8)));
            break;
        case 1:
            out.insert(pos(), char(rng() & 0xFF));
            break;
        case 2:
            if (!out.isEmpty())
                out.remove(pos(), 1 + qsizetype(rng() % 8));
            break;
        case 3:
            out.truncate(pos());
            break;
        case 4: {
            const QByteArray &other = all[rng() % all.size()];
            out.insert(pos(), other.mid(qsizetype(rng() % quint32(other.size() + 1)), 32));
            break;
        }
        case 5: {
            static const char *tokens[] = {"\r\n", "<", ">", "|", "'", "!", "-1", "4294967295", "99999999999", "\xFF", "';--"};
            out.insert(pos(), tokens[rng() % (sizeof tokens / sizeof *tokens)]);
            break;
        }
        default:
            if (!out.isEmpty())
                out[0] = char(rng() & 0xFF);
            break;
        }
    }
    return out.left(4096);
}
} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [MUTATIONS]\n", argv[0]);
        return 2;
    }
    const int mutations = argc > 2 ? std::atoi(argv[2]) : 2000;
    std::vector<QByteArray> corpus;
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            corpus.push_back(f.readAll());
    }
    if (corpus.empty()) {
        std::fprintf(stderr, "no corpus in %s\n", argv[1]);
        return 2;
    }
    for (const auto &input : corpus)
        run(input);
    std::mt19937 rng(20261211);
    for (int i = 0; i < mutations; ++i)
        run(mutate(corpus[rng() % corpus.size()], corpus, rng));
    std::printf("%zu seeds and %d mutations ran\n", corpus.size(), mutations);
    return 0;
}
