// The serving node's throughput: one node (its UDP endpoint and serving
// engine on a thread of its own, over a real local.res) sends a 64 MiB file
// mark by mark to scripted downloaders on loopback. Each downloader
// acknowledges every marker, reports lost chunks and asks for the next mark,
// as the client's receiver does. Prints MB/s and the node thread's CPU seconds.
//
//   node_bench [N:MARKS ...]   default: 1:all 20:all 100:206
#include "common/store/store.h"
#include "node/library.h"
#include "node/udpendpoint.h"
#include "node/wire.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>

#include <pthread.h>
#include <sys/socket.h>
#include <time.h>

#include <atomic>
#include <cstdio>
#include <future>
#include <memory>
#include <vector>

using namespace zv;
using namespace zv::node;

namespace {

constexpr qint64 kFileBytes = 64ll * 1024 * 1024;
constexpr int kMarks = int((kFileBytes + kMarkBytes - 1) / kMarkBytes);

void bigBuffers(QUdpSocket &s)
{
    const int size = 4 * 1024 * 1024;
    ::setsockopt(int(s.socketDescriptor()), SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size);
    ::setsockopt(int(s.socketDescriptor()), SOL_SOCKET, SO_SNDBUFFORCE, &size, sizeof size);
}

double threadCpuSeconds(pthread_t thread)
{
    clockid_t id;
    timespec ts{};
    if (pthread_getcpuclockid(thread, &id) != 0 || clock_gettime(id, &ts) != 0)
        return -1;
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// The node: the store, the library and the UDP endpoint live on this thread.
class NodeThread : public QThread {
public:
    NodeThread(QString dir, QString fileCode) : dir_(std::move(dir)), code_(std::move(fileCode)) {}
    std::promise<quint16> port;
    std::atomic<pthread_t> handle{};
    std::atomic<long long> resends{0};

protected:
    void run() override
    {
        handle = pthread_self();
        store::Database db;
        db.open(dir_ + QStringLiteral("local.res"));
        StoreServingLibrary library(db);
        DiskFileAccess files;
        UdpEndpoint endpoint(library, files);
        endpoint.bind(QStringLiteral("127.0.0.1"), 0);
        bigBuffers(*endpoint.socket());
        port.set_value(endpoint.localPort());
        exec();
    }

private:
    QString dir_;
    QString code_;
};

struct Downloader {
    std::unique_ptr<QUdpSocket> socket;
    int mark = 0;
    int lastMark = 0;            // exclusive
    quint64 received[1] = {0};   // chunks of the current mark, as bits
    qint64 bytes = 0;
    int lostRequests = 0;
    bool done = false;
};

struct Result {
    int downloaders;
    int marksEach;
    double seconds;
    double megabytes;
    double nodeCpu;
    int lostRequests;
};

Result runOnce(const QString &dir, const QString &code, int n, int marksEach)
{
    NodeThread node(dir, code);
    auto portFuture = node.port.get_future();
    node.start();
    const quint16 nodePort = portFuture.get();
    const QHostAddress nodeAddress(QStringLiteral("127.0.0.1"));
    const double cpuBefore = threadCpuSeconds(node.handle);

    std::vector<Downloader> peers(static_cast<size_t>(n));
    int finished = 0;
    QElapsedTimer wall;
    auto sendLines = [&](Downloader &d, const QStringList &lines) {
        d.socket->writeDatagram(lineList(lines), nodeAddress, nodePort);
    };
    for (auto &d : peers) {
        d.socket = std::make_unique<QUdpSocket>();
        d.socket->bind(QHostAddress(QStringLiteral("127.0.0.1")), 0);
        bigBuffers(*d.socket);
        d.lastMark = marksEach;
        Downloader *self = &d;
        QObject::connect(d.socket.get(), &QUdpSocket::readyRead, d.socket.get(), [&, self] {
            Downloader &dl = *self;
            while (dl.socket->hasPendingDatagrams()) {
                const QNetworkDatagram g = dl.socket->receiveDatagram(2048);
                const QByteArray data = g.data();
                if (data.startsWith(kDataHeader) && data.size() >= 14) {
                    const auto *p = reinterpret_cast<const unsigned char *>(data.constData() + data.size() - 4);
                    const quint32 chunk = quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
                    const qint64 index = qint64(chunk) - qint64(dl.mark) * kChunksPerMark;
                    if (index >= 0 && index < 64 && !(dl.received[0] & (1ull << index))) {
                        dl.received[0] |= 1ull << index;
                        dl.bytes += data.size() - 14;
                    }
                    continue;
                }
                if (!data.startsWith("C_P2PFILETRANSMARK0.5-") || dl.done)
                    continue;
                sendLines(dl, {QStringLiteral("U_REPLYTRANSMARK0.5")});
                const qint64 firstChunk = qint64(dl.mark) * kChunksPerMark;
                const qint64 chunks = std::min<qint64>(64, (kFileBytes + kChunkBytes - 1) / kChunkBytes - firstChunk);
                QString lost;
                for (qint64 i = 0; i < chunks; ++i) {
                    if (!(dl.received[0] & (1ull << i)))
                        lost += u'<' + QString::number(firstChunk + i) + u'>';
                }
                if (!lost.isEmpty()) {
                    ++dl.lostRequests;
                    sendLines(dl, {QStringLiteral("U_P2PLOSTNUM0.5"), code, QString::number(dl.mark), lost});
                    continue;
                }
                dl.received[0] = 0;
                if (++dl.mark < dl.lastMark) {
                    sendLines(dl, {QStringLiteral("U_P2PTRANSMARKEND0.5"), code, QString::number(dl.mark)});
                } else {
                    sendLines(dl, {QStringLiteral("U_P2PTRANSEND0.5"), code});
                    dl.done = true;
                    ++finished;
                }
            }
        });
    }
    wall.start();
    for (auto &d : peers)
        sendLines(d, {QStringLiteral("U_P2PFILEREQUEST0.5"), code, QStringLiteral("0")});
    while (finished < n && wall.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    const double cpu = threadCpuSeconds(node.handle) - cpuBefore;
    node.quit();
    node.wait();

    Result r{n, marksEach, seconds, 0, cpu, 0};
    for (const auto &d : peers) {
        r.megabytes += double(d.bytes) / 1e6;
        r.lostRequests += d.lostRequests;
    }
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    {
        QFile f(folder + QStringLiteral("big.bin"));
        f.open(QIODevice::WriteOnly);
        QByteArray block(1 << 20, Qt::Uninitialized);
        for (qsizetype i = 0; i < block.size(); ++i)
            block[i] = char((i * 131 + i / 4093) & 0xFF);
        for (int i = 0; i < 64; ++i)
            f.write(block);
    }
    const QString code = QString::number(kFileBytes) + QStringLiteral("!1!2!0!");
    {
        store::createLibrary(folder + QStringLiteral("local.res"));
        store::Database db;
        db.open(folder + QStringLiteral("local.res"));
        db.exec(QStringLiteral("insert into table_file (file_name,path,file_size,file_code,update_state,share) values "
                               "('big.bin','%1',%2,'%3',0,1)").arg(folder).arg(kFileBytes).arg(code));
    }

    QList<std::pair<int, int>> runs;
    for (int i = 1; i < argc; ++i) {
        const QStringList parts = QString::fromLocal8Bit(argv[i]).split(u':');
        const int n = parts.value(0).toInt();
        const int marks = parts.value(1) == QStringLiteral("all") || parts.size() < 2 ? kMarks : parts.value(1).toInt();
        if (n > 0 && marks > 0)
            runs.append({n, std::min(marks, kMarks)});
    }
    if (runs.isEmpty())
        runs = {{1, kMarks}, {20, kMarks}, {100, 206}};

    std::printf("%-12s %-12s %10s %10s %10s %14s %12s\n", "downloaders", "marks each", "MB", "seconds", "MB/s",
                "node CPU s", "lost lists");
    for (const auto &[n, marks] : runs) {
        const Result r = runOnce(folder, code, n, marks);
        std::printf("%-12d %-12d %10.1f %10.2f %10.1f %14.2f %12d\n", r.downloaders, r.marksEach, r.megabytes,
                    r.seconds, r.megabytes / r.seconds, r.nodeCpu, r.lostRequests);
        std::fflush(stdout);
    }
    return 0;
}
