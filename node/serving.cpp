#include "node/serving.h"

namespace zv::node {

namespace {
const QString kHole = QStringLiteral("U_P2PHOLE0.5");
const QString kAskFor = QStringLiteral("s_p2paskfor0.5");
const QString kRequest = QStringLiteral("U_P2PFILEREQUEST0.5");
const QString kMarkEnd = QStringLiteral("U_P2PTRANSMARKEND0.5");
const QString kLost = QStringLiteral("U_P2PLOSTNUM0.5");
const QString kEnd = QStringLiteral("U_P2PTRANSEND0.5");
const QString kReply = QStringLiteral("U_REPLYTRANSMARK0.5");

QByteArray ascii(const QString &text)
{
    return text.toLatin1();
}
} // namespace

ServingEngine::ServingEngine(ServingTransport &transport, ServingLibrary &library, FileAccess &files)
    : ServingEngine(transport, library, files, Timings{})
{
}

ServingEngine::ServingEngine(ServingTransport &transport, ServingLibrary &library, FileAccess &files,
                             Timings timings)
    : transport_(transport), library_(library), files_(files), timings_(timings)
{
    slots_.reserve(kTransferSlots);
}

RetryPolicy ServingEngine::retryPolicy() const
{
    RetryPolicy policy;
    policy.limit = timings_.openRetry;
    policy.now = [this] { return transport_.now(); };
    policy.pause = [this] { transport_.pause(); };
    return policy;
}

void ServingEngine::send(const TransferSlot &slot, const QByteArray &bytes)
{
    transport_.sendDatagram(slot.address, slot.port, bytes);
}

TransferSlot *ServingEngine::findSlot(const QString &address, quint16 port, const QString &code)
{
    for (auto &slot : slots_) {
        if (slot.address == address && slot.port == port && slot.fileCode == code)
            return &slot;
    }
    return nullptr;
}

void ServingEngine::removeSlot(qsizetype index)
{
    if (index >= 0 && index < slots_.size())
        slots_.removeAt(index);
}

void ServingEngine::handleDatagram(const QString &address, quint16 port, QByteArrayView datagram)
{
    if (datagram.size() > kDatagramLimit)
        datagram = datagram.first(kDatagramLimit);
    const QStringList lines = datagramLines(datagram);
    if (lines.isEmpty() || address.isEmpty())
        return;
    const QString &verb = lines.first();

    if (verb == kHole) {
        transport_.sendDatagram(address, port, QByteArrayLiteral("C_P2PSUCCESS0.5"));
        return;
    }
    if (verb.startsWith(kAskFor)) {
        if (const auto peer = parseEndpoint(verb.mid(kAskFor.size())))
            transport_.sendDatagram(peer->address, peer->port, QByteArrayLiteral("C_P2PHOLING0.5"));
        return;
    }
    if (verb == kRequest) {
        fileRequest(address, port, lines);
        return;
    }
    if (verb == kReply) {
        const auto now = transport_.now();
        for (auto &slot : slots_) {
            if (slot.address == address && slot.port == port) {
                slot.markerAnswered = true;
                slot.idleSince = now;
            }
        }
        return;
    }
    if (verb == kMarkEnd || verb == kLost || verb == kEnd) {
        if (lines.size() < 2)
            return;
        TransferSlot *slot = findSlot(address, port, lines.at(1));
        if (!slot)
            return;
        if (verb == kEnd) {
            removeSlot(slot - slots_.data());
            if (slots_.isEmpty())
                transport_.setSendingTick(false);
            return;
        }
        const auto mark = parseMark(lines.value(2));
        if (!mark)
            return;
        slot->mark = *mark;
        if (verb == kMarkEnd) {
            slot->state = TransferSlot::SendMark;
        } else {
            slot->state = TransferSlot::Repair;
            slot->lostList = lines.value(3);
        }
        return;
    }
}

void ServingEngine::fileRequest(const QString &address, quint16 port, const QStringList &lines)
{
    if (lines.size() < 3)
        return;
    const QString &code = lines.at(1);
    const QString &markText = lines.at(2);
    const auto mark = parseMark(markText);
    if (!mark)
        return;

    if (TransferSlot *slot = findSlot(address, port, code)) {
        slot->state = TransferSlot::SendMark;
        slot->mark = *mark;
        slot->idleSince = transport_.now();
        return;
    }
    if (slots_.size() >= kTransferSlots) {
        // The running transfers are kept; only the newcomer is refused.
        transport_.sendDatagram(address, port, ascii(QStringLiteral("C_P2PLIMIT0.5") + markText));
        return;
    }
    if (slots_.isEmpty())
        transport_.setSendingTick(true);

    const auto record = library_.findServed(code);
    if (!record) {
        transport_.sendDatagram(address, port, ascii(QStringLiteral("C_P2PNOFILE0.5") + markText));
        return;
    }
    if (!files_.exists(record->fullPath())) {
        // Withdrawn so that the next batch tells the server; no answer.
        library_.withdrawMissing(code, record->fileName);
        return;
    }
    TransferSlot slot;
    slot.address = address;
    slot.port = port;
    slot.fileCode = code;
    slot.fullPath = record->fullPath();
    slot.fileName = record->fileName;
    slot.state = TransferSlot::SendMark;
    slot.mark = *mark;
    slot.idleSince = transport_.now();
    slot.markerSince = slot.idleSince;
    slots_.append(slot);
}

std::optional<bool> ServingEngine::sendChunks(qsizetype index, bool repair)
{
    const TransferSlot slot = slots_.at(index);
    const qint64 offset = slot.mark * kMarkBytes;
    const RetriedRead read = readWithRetry(files_, retryPolicy(), slot.fullPath, offset, kMarkBytes);
    if (read.outcome != ReadOutcome::Read) {
        if (read.outcome == ReadOutcome::Missing) {
            library_.withdrawMissing(slot.fileCode, slot.fileName);
        } else {
            send(slot, ascii(QStringLiteral("C_P2PNOFILE0.5") + QString::number(slot.mark)));
        }
        removeSlot(index);
        return std::nullopt;
    }
    if (read.slice.size < offset)
        return false;
    const QByteArray &bytes = read.slice.bytes;
    const std::uint32_t firstChunk = static_cast<std::uint32_t>(slot.mark * kChunksPerMark);
    if (!repair) {
        const qsizetype chunks = (bytes.size() + kChunkBytes - 1) / kChunkBytes;
        for (qsizetype i = 0; i < chunks; ++i) {
            const QByteArrayView chunk = QByteArrayView(bytes).sliced(i * kChunkBytes,
                                                                      std::min<qsizetype>(kChunkBytes, bytes.size() - i * kChunkBytes));
            send(slot, dataDatagram(chunk, firstChunk + static_cast<std::uint32_t>(i)));
        }
        return true;
    }
    for (const std::uint32_t n : lostChunksOfMark(slot.lostList, slot.mark)) {
        const qsizetype start = qsizetype(n - firstChunk) * kChunkBytes;
        const qsizetype remaining = std::max<qsizetype>(0, bytes.size() - start);
        const QByteArrayView chunk = remaining > 0
            ? QByteArrayView(bytes).sliced(start, std::min<qsizetype>(kChunkBytes, remaining))
            : QByteArrayView();
        send(slot, dataDatagram(chunk, n));
    }
    return true;
}

void ServingEngine::tick()
{
    qsizetype i = 0;
    while (i < slots_.size()) {
        const auto now = transport_.now();
        TransferSlot &slot = slots_[i];

        if (!slot.markerAnswered && now - slot.markerSince > timings_.markerResend) {
            send(slot, ascii(kMarkerPrefix + QString::number(slot.mark)));
            ++slot.markerResends;
            slot.markerSince = now;
            slot.idleSince = now;
            if (slot.markerResends > timings_.maxMarkerResends) {
                removeSlot(i);
                continue;
            }
        }

        if (slot.state == TransferSlot::SendMark || slot.state == TransferSlot::Repair) {
            const bool repair = slot.state == TransferSlot::Repair;
            slot.state = TransferSlot::Idle;
            slot.idleSince = now;
            const auto sent = sendChunks(i, repair);
            if (!sent)
                continue; // the slot is gone; the next one has moved into its place
            TransferSlot &served = slots_[i];
            served.markerAnswered = false;
            served.markerSince = transport_.now();
            transport_.pause();
            QString marker = kMarkerPrefix + QString::number(served.mark);
            if (!*sent)
                marker += QStringLiteral("error");
            else if (repair)
                marker += served.lostList;
            send(served, ascii(marker));
        } else if (slot.markerAnswered && now - slot.idleSince > timings_.idleRemoval) {
            removeSlot(i);
            return;
        }
        ++i;
    }
}

} // namespace zv::node
