// Arbitrary datagrams and relay-link bytes fed to the serving node's handlers
// over a real local.res. Besides the sanitizers, every statement that reaches
// the database is checked: with its quoted texts blanked out it must have the
// shape of one of the node's own statements, so no input can add SQL.
#include "common/framing.h"
#include "common/store/store.h"
#include "node/library.h"
#include "node/relay.h"
#include "node/serving.h"
#include "node/wire.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace zv;
using namespace zv::node;

namespace {

class QuietTransport final : public ServingTransport {
public:
    void sendDatagram(const QString &, quint16, const QByteArray &bytes) override
    {
        if (bytes.size() > kDatagramLimit + 1024) {
            std::fprintf(stderr, "datagram of %lld bytes\n", static_cast<long long>(bytes.size()));
            std::abort();
        }
        ++sent;
    }
    std::chrono::nanoseconds now() const override { return clock; }
    void pause() override { clock += std::chrono::milliseconds(1); }
    void setSendingTick(bool) override {}
    std::chrono::nanoseconds clock{std::chrono::seconds(100)};
    qint64 sent = 0;
};

// The statement with every quoted text replaced by '?'.
QString shape(const char *sql)
{
    QString out;
    const QString text = QString::fromUtf8(sql);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\'') {
            out += text[i];
            continue;
        }
        ++i;
        while (i < text.size()) {
            if (text[i] == u'\'') {
                if (i + 1 < text.size() && text[i + 1] == u'\'') {
                    i += 2;
                    continue;
                }
                break;
            }
            ++i;
        }
        out += QStringLiteral("'?'");
    }
    return out;
}

struct World {
    QTemporaryDir dir;
    store::Database db;
    std::unique_ptr<StoreServingLibrary> library;
    DiskFileAccess files;
    QSet<QString> shapes;
    bool learning = true;
    QString folder;

    void addRow(const QString &name, qint64 size, int share, bool onDisk)
    {
        if (onDisk)
            QFile(folder + name).open(QIODevice::WriteOnly) && true;
        if (onDisk) {
            QFile f(folder + name);
            f.open(QIODevice::WriteOnly);
            f.write(QByteArray(size, 'z'));
        }
        store::ResultSet rs;
        rs.open(db, QStringLiteral("select * from table_file where id < 0"));
        rs.append();
        rs.setField(QStringLiteral("file_name"), name);
        rs.setField(QStringLiteral("path"), folder);
        rs.setField(QStringLiteral("file_size"), size);
        rs.setField(QStringLiteral("file_code"), QString::number(size) + QStringLiteral("!1!2!0!"));
        rs.setField(QStringLiteral("update_state"), 0);
        rs.setField(QStringLiteral("share"), share);
        rs.post();
    }
    // Puts back the rows the inputs may have withdrawn or deleted.
    void reset()
    {
        db.exec(QStringLiteral("delete from table_file"));
        addRow(QStringLiteral("empty.bin"), 0, 1, true);
        addRow(QStringLiteral("one.bin"), 1, 1, true);
        addRow(QStringLiteral("small.bin"), 1021, 1, true);
        addRow(QStringLiteral("mark.bin"), 65280, 1, true);
        addRow(QStringLiteral("two.bin"), 70000, 1, true);
        addRow(QStringLiteral("hidden.bin"), 3000, 0, true);
        addRow(QStringLiteral("gone.bin"), 4000, 1, false);
        addRow(QStringLiteral("gone.bin"), 4000, 1, false);
        addRow(QStringLiteral("o'quote.bin"), 5000, 1, false);
    }

    World()
    {
        folder = dir.path() + u'/';
        const QString path = folder + QStringLiteral("local.res");
        if (!store::createLibrary(path) || !db.open(path))
            std::abort();
        sqlite3_trace_v2(db.handle(), SQLITE_TRACE_STMT, &World::trace, this);
        library = std::make_unique<StoreServingLibrary>(db);
        reset();
        // Every statement shape the node uses, learnt from benign requests.
        for (const char *code : {"1!1!2!0!", "4000!1!2!0!", "5000!1!2!0!", "9!9!9!0!"}) {
            library->findServed(QString::fromLatin1(code));
            library->withdrawMissing(QString::fromLatin1(code), QStringLiteral("gone.bin"));
            library->withdrawMissing(QString::fromLatin1(code), QStringLiteral("o'quote.bin"));
        }
        reset();
        library->withdrawMissing(QStringLiteral("4000!1!2!0!"), QStringLiteral("gone.bin"));
        library->withdrawMissing(QStringLiteral("4000!1!2!0!"), QStringLiteral("gone.bin"));
        reset();
        learning = false;
    }

    static int trace(unsigned, void *ctx, void *stmt, void *)
    {
        auto *world = static_cast<World *>(ctx);
        const char *sql = sqlite3_sql(static_cast<sqlite3_stmt *>(stmt));
        if (!sql)
            return 0;
        const QString s = shape(sql);
        if (world->learning) {
            world->shapes.insert(s);
        } else if (!world->shapes.contains(s)) {
            std::fprintf(stderr, "statement of a foreign shape: %s\n", sql);
            std::abort();
        }
        return 0;
    }
};

World &world()
{
    static World w;
    return w;
}

void feedDatagrams(ServingEngine &engine, QuietTransport &transport, QByteArrayView bytes)
{
    // 0xFF separates datagrams; the byte after it picks the sender's port.
    qsizetype start = 0;
    for (qsizetype i = 0; i <= bytes.size(); ++i) {
        if (i < bytes.size() && static_cast<unsigned char>(bytes[i]) != 0xFF)
            continue;
        QByteArrayView d = bytes.sliced(start, i - start);
        quint16 port = 30000;
        if (!d.isEmpty()) {
            port = quint16(30000 + static_cast<unsigned char>(d[0]) % 4);
            d = d.sliced(1);
        }
        engine.handleDatagram(QStringLiteral("127.0.0.1"), port, d);
        engine.tick();
        transport.clock += std::chrono::milliseconds(700);
        engine.tick();
        start = i + 1;
    }
    for (int i = 0; i < 30; ++i) {
        transport.clock += std::chrono::milliseconds(1100);
        engine.tick();
    }
}

void feedRelay(World &w, QByteArrayView bytes)
{
    FrameSplitter splitter(RelayLinks::kBufferLimit);
    if (bytes.size() >= 4) {
        const std::int32_t key = std::int32_t(quint32(quint8(bytes[0])) << 24 | quint32(quint8(bytes[1])) << 16
                                              | quint32(quint8(bytes[2])) << 8 | quint8(bytes[3]));
        splitter.setKey(key);
        bytes = bytes.sliced(4);
    }
    // Fed in two parts, as two reads.
    splitter.append(bytes.first(bytes.size() / 2));
    for (int round = 0; round < 2; ++round) {
        while (auto m = splitter.next()) {
            if (m->verb() == kSendKeyVerb) {
                if (auto k = parseInt32(m->field(1)))
                    splitter.setKey(*k);
            } else if (m->verb() == QStringLiteral("t_request0.5")) {
                RetryPolicy retry;
                const auto answer = relayAnswer(*w.library, w.files, retry, m->field(1), m->field(2), m->field(3));
                if (answer && answer->size() > 65280 + 4096)
                    std::abort();
            }
        }
        if (round == 0)
            splitter.append(bytes.sliced(bytes.size() / 2));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    World &w = world();
    if (size == 0)
        return 0;
    const QByteArrayView bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    switch (data[0] % 3) {
    case 0: {
        QuietTransport transport;
        ServingEngine engine(transport, *w.library, w.files);
        feedDatagrams(engine, transport, bytes);
        break;
    }
    case 1:
        feedRelay(w, bytes);
        break;
    default: {
        const QString text = QString::fromLatin1(bytes);
        const auto lost = lostChunksOfMark(text, qint64(size % 5));
        if (lost.size() > 64)
            std::abort();
        parseEndpoint(text);
        datagramLines(bytes);
        break;
    }
    }
    if (data[0] % 7 == 6)
        w.reset();
    return 0;
}
