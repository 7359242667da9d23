#include "node/relay.h"

#include "node/udptransport.h"
#include "node/wait.h"
#include "node/wire.h"
#include "platform/textcodec.h"

#include <QThread>

namespace zv::node {

std::optional<QByteArray> relayAnswer(ServingLibrary &library, FileAccess &files, const RetryPolicy &retry,
                                      const QString &fileCode, const QString &markText, const QString &tag)
{
    const auto mark = parseMark(markText);
    const qsizetype bang = fileCode.indexOf(u'!');
    if (!mark || bang <= 0)
        return std::nullopt;
    const auto size = parseInt32(fileCode.left(bang));
    if (!size || *size <= 0)
        return std::nullopt;
    const qint64 marks = (qint64(*size) + kMarkBytes - 1) / kMarkBytes;
    if (*mark >= marks)
        return std::nullopt;
    const qint64 count = *mark + 1 == marks ? *size - *mark * kMarkBytes : kMarkBytes;

    // A record whose file is gone is withdrawn and the next holder tried; the
    // bound keeps a withdrawal that fails from turning this into a loop.
    for (int attempt = 0; attempt < kTransferSlots; ++attempt) {
        const auto record = library.findServed(fileCode);
        if (!record)
            return std::nullopt;
        const RetriedRead read = readWithRetry(files, retry, record->fullPath(), *mark * kMarkBytes, count);
        if (read.outcome == ReadOutcome::Missing) {
            library.withdrawMissing(fileCode, record->fileName);
            continue;
        }
        if (read.outcome == ReadOutcome::Unopenable || read.slice.bytes.size() != count)
            return std::nullopt;
        QByteArray out;
        for (const QString &line : {QStringLiteral("C_T"), QString::number(count), fileCode, markText, tag,
                                    QStringLiteral("#")}) {
            out += platform::toAnsi(line);
            out += "\r\n";
        }
        out += read.slice.bytes;
        return out;
    }
    return std::nullopt;
}

RelayLinks::RelayLinks(ServingLibrary &library, FileAccess &files, std::function<qint32()> computerId,
                       QObject *parent)
    : QObject(parent), library_(library), files_(files), computerId_(std::move(computerId))
{
    retry_.now = steadyNow;
    retry_.pause = [] { QThread::msleep(1); };
}

RelayLinks::~RelayLinks()
{
    for (auto &entry : entries_) {
        if (entry.socket) {
            entry.socket->disconnect(this);
            delete entry.socket;
        }
    }
}

void RelayLinks::log(const QString &line) const
{
    if (log_)
        log_(line);
}

int RelayLinks::activeLinks() const
{
    int n = 0;
    for (const auto &entry : entries_)
        n += entry.address.isEmpty() ? 0 : 1;
    return n;
}

bool RelayLinks::hasLink(const QString &address, quint16 port) const
{
    for (const auto &entry : entries_) {
        if (entry.address == address && entry.port == port)
            return true;
    }
    return false;
}

void RelayLinks::free(Entry &entry)
{
    entry.address.clear();
    entry.port = -1;
    entry.connected = false;
    entry.key = -1;
    entry.hasKey = false;
    entry.splitter.clear();
    entry.splitter.setKey(-1);
    if (entry.socket) {
        QTcpSocket *socket = entry.socket;
        entry.socket = nullptr;
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

void RelayLinks::open(const QString &address, const QString &portText)
{
    const auto port = parseInt32(portText);
    if (address.isEmpty() || !port || *port <= 0 || *port > 65535) {
        log(QStringLiteral("relay: no usable relay server in the request"));
        return;
    }
    if (hasLink(address, quint16(*port)))
        return;
    Entry *entry = nullptr;
    for (auto &e : entries_) {
        if (e.address.isEmpty() && !e.socket) {
            entry = &e;
            break;
        }
    }
    if (!entry) {
        log(QStringLiteral("relay: every link entry is taken"));
        return;
    }
    entry->address = address;
    entry->port = *port;
    entry->connected = true;
    entry->key = -1;
    entry->hasKey = false;
    entry->splitter.clear();
    entry->splitter.setKey(-1);
    auto *socket = new QTcpSocket(this);
    entry->socket = socket;
    connect(socket, &QTcpSocket::readyRead, this, [this, entry] { read(*entry); });
    connect(socket, &QTcpSocket::disconnected, this, [entry] {
        entry->address.clear();
        entry->port = -1;
        entry->connected = false;
    });
    // Errors show as a link that never connects or drops; nothing else to do.
    connect(socket, &QTcpSocket::errorOccurred, this, [entry](QAbstractSocket::SocketError) {
        if (entry->socket && entry->socket->state() == QAbstractSocket::UnconnectedState) {
            entry->address.clear();
            entry->port = -1;
            entry->connected = false;
        }
    });
    socket->connectToHost(address, quint16(*port));

    const QPointer<QTcpSocket> guard(socket);
    const bool linked = nestedWait([&] { return !guard || guard->state() == QAbstractSocket::ConnectedState; },
                                   timings_.connectWaitMs)
        && guard && guard->state() == QAbstractSocket::ConnectedState
        && nestedWait([&] { return !guard || entry->hasKey; }, timings_.keyWaitMs) && guard
        && entry->hasKey;
    if (!linked) {
        log(QStringLiteral("relay: ") + address + u':' + portText + QStringLiteral(" did not link"));
        if (entry->socket == guard)
            free(*entry);
        return;
    }
    socket->write(encodeFrame({QStringLiteral("C_LINK0.5"), QString::number(computerId_())}, entry->key));
    log(QStringLiteral("relay: linked to ") + address + u':' + portText);
}

void RelayLinks::read(Entry &entry)
{
    if (!entry.socket)
        return;
    entry.splitter.append(entry.socket->readAll());
    if (entry.splitter.takeOverflow())
        log(QStringLiteral("relay: oversized message dropped"));
    while (auto message = entry.splitter.next()) {
        if (message->verb() == kSendKeyVerb) {
            if (const auto key = parseInt32(message->field(1))) {
                entry.key = *key;
                entry.hasKey = true;
                entry.splitter.setKey(*key);
            }
        } else if (message->verb() == QStringLiteral("t_request0.5")) {
            const auto answer = relayAnswer(library_, files_, retry_, message->field(1), message->field(2),
                                            message->field(3));
            if (answer && entry.socket)
                entry.socket->write(*answer);
        }
        if (!entry.socket)
            return;
    }
}

void RelayLinks::releaseDropped()
{
    for (auto &entry : entries_) {
        if (!entry.connected && entry.socket)
            free(entry);
    }
}

} // namespace zv::node
