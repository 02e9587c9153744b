#include "engine/mqtt/DiskQueue.h"

#include "engine/mqtt/QueueFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cstring>

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(DiskQueue)
};
}  // namespace

namespace qm {

namespace {

const uint32_t* CrcTable() {
    static const auto table = [] {
        static uint32_t t[256];
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    return table;
}

void Put32(char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = char((v >> (8 * i)) & 0xFF);
}
uint32_t Get32(const char* p) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(uint8_t(p[i])) << (8 * i);
    return v;
}
void Put64(char* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = char((v >> (8 * i)) & 0xFF);
}
uint64_t Get64(const char* p) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= uint64_t(uint8_t(p[i])) << (8 * i);
    return v;
}

namespace files = queuefiles;

// The record's bytes on disk: header and body.
QByteArray Encode(const QueueRecord& r) {
    const int runLen = int(std::min<qsizetype>(r.runId.size(), 255));
    const int topicLen = int(std::min<qsizetype>(r.topic.size(), 65535));
    const qsizetype body = 8 + 1 + 1 + runLen + 2 + topicLen + r.payload.size();
    QByteArray out(DiskQueue::HeaderBytes + body, Qt::Uninitialized);
    char* p = out.data() + DiskQueue::HeaderBytes;
    Put64(p, uint64_t(r.queuedMs));
    p[8] = char(r.kind);
    p[9] = char(runLen);
    std::memcpy(p + 10, r.runId.constData(), size_t(runLen));
    p += 10 + runLen;
    p[0] = char(topicLen & 0xFF);
    p[1] = char(topicLen >> 8);
    std::memcpy(p + 2, r.topic.constData(), size_t(topicLen));
    std::memcpy(p + 2 + topicLen, r.payload.constData(), size_t(r.payload.size()));
    Put32(out.data(), DiskQueue::Magic);
    Put32(out.data() + 4, uint32_t(body));
    Put32(out.data() + 8, Crc32(out.constData() + DiskQueue::HeaderBytes, size_t(body)));
    return out;
}

// Parses a body whose CRC has been checked. False when its fields do not fit.
bool Decode(const char* body, size_t size, QueueRecord* out) {
    if (size < 12) return false;
    const size_t runLen = uint8_t(body[9]);
    if (10 + runLen + 2 > size) return false;
    const char* t = body + 10 + runLen;
    const size_t topicLen = size_t(uint8_t(t[0])) | size_t(uint8_t(t[1])) << 8;
    if (10 + runLen + 2 + topicLen > size) return false;
    const uint8_t kind = uint8_t(body[8]);
    if (kind != uint8_t(QueueRecord::Kind::Cycle) && kind != uint8_t(QueueRecord::Kind::Event)) return false;
    if (out) {
        out->queuedMs = int64_t(Get64(body));
        out->kind = QueueRecord::Kind(kind);
        out->runId = QByteArray(body + 10, qsizetype(runLen));
        out->topic = QByteArray(t + 2, qsizetype(topicLen));
        const size_t start = 10 + runLen + 2 + topicLen;
        out->payload = QByteArray(body + start, qsizetype(size - start));
    }
    return true;
}

// A sound record at `pos` of `bytes`: its whole size, else 0. With `crcBudget`
// the bytes its CRC reads are taken from it; when they are more than is
// left, nothing is read and the budget becomes -1.
size_t SoundRecordAt(const QByteArray& bytes, size_t pos, QueueRecord* out, int64_t* crcBudget = nullptr) {
    const size_t n = size_t(bytes.size());
    if (pos + DiskQueue::HeaderBytes > n) return 0;
    const char* p = bytes.constData() + pos;
    if (Get32(p) != DiskQueue::Magic) return 0;
    const uint32_t len = Get32(p + 4);
    if (len > uint32_t(DiskQueue::MaxRecordBytes) || pos + DiskQueue::HeaderBytes + len > n) return 0;
    const char* body = p + DiskQueue::HeaderBytes;
    if (crcBudget) {
        if (*crcBudget < int64_t(len)) {
            *crcBudget = -1;
            return 0;
        }
        *crcBudget -= int64_t(len);
    }
    if (Crc32(body, len) != Get32(p + 8)) return 0;
    if (!Decode(body, len, out)) return 0;
    return DiskQueue::HeaderBytes + len;
}

QByteArray AckText(uint32_t segment, uint64_t offset) {
    const QByteArray core = "QMQACK1 " + QByteArray::number(segment) + ' ' + QByteArray::number(qulonglong(offset));
    return core + ' ' + QByteArray::number(Crc32(core.constData(), size_t(core.size()))) + '\n';
}

// Segments are numbered with eight digits, so the numbers end here.
constexpr uint32_t MaxSegment = 99999999;

// The number of a segment file named as the queue names them
// ("q-00000001.dat"), else 0.
uint32_t SegmentNumber(const QString& name) {
    if (name.size() != 14 || !name.startsWith(QLatin1String("q-")) || !name.endsWith(QLatin1String(".dat"))) return 0;
    uint32_t n = 0;
    for (qsizetype i = 2; i < 10; ++i) {
        const char16_t c = name[i].unicode();
        if (c < u'0' || c > u'9') return 0;
        n = n * 10 + uint32_t(c - u'0');
    }
    return n;
}

bool ParseAck(const QByteArray& text, uint32_t* segment, uint64_t* offset) {
    const QList<QByteArray> parts = text.trimmed().split(' ');
    if (parts.size() != 4 || parts[0] != "QMQACK1") return false;
    const QByteArray core = parts[0] + ' ' + parts[1] + ' ' + parts[2];
    bool ok1 = false, ok2 = false, ok3 = false;
    const uint seg = parts[1].toUInt(&ok1);
    const qulonglong off = parts[2].toULongLong(&ok2);
    const uint crc = parts[3].toUInt(&ok3);
    if (!ok1 || !ok2 || !ok3 || crc != Crc32(core.constData(), size_t(core.size())) || seg > MaxSegment) return false;
    *segment = seg;
    *offset = off;
    return true;
}

// A segment file read for scanning is bounded; bytes past this are counted
// as damaged (the program never writes a segment this long).
constexpr qint64 MaxScanBytes = qint64(64) << 20;
constexpr uint64_t CompactBytes = 64 * 1024;

}  // namespace

uint32_t Crc32(const char* data, size_t size, uint32_t crc) {
    const uint32_t* t = CrcTable();
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = t[(crc ^ uint8_t(data[i])) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

DiskQueue::DiskQueue(QString folder, int64_t maxBytes)
    : folder_(std::move(folder)),
      maxBytes_(std::max<int64_t>(maxBytes, 16 * 1024)),
      segmentBytes_(std::clamp<int64_t>(maxBytes_ / 10, 4 * 1024, int64_t(4) << 20)) {}

DiskQueue::~DiskQueue() {
    files::Close(lockFd_);
    files::Close(fd_);
    files::Close(readFd_);
}

QString DiskQueue::segmentPath(uint32_t segment) const {
    return QDir(folder_).filePath(QStringLiteral("q-%1.dat").arg(segment, 8, 10, QLatin1Char('0')));
}

QString DiskQueue::ackPath() const { return QDir(folder_).filePath(QStringLiteral("acked")); }

DiskQueue::OpenResult DiskQueue::open() {
    std::lock_guard lock(mutex_);
    OpenResult result;
    if (!QDir().mkpath(folder_)) {
        result.error = Texts::tr("フォルダ %1 を作成できません").arg(QDir::toNativeSeparators(folder_));
        return result;
    }
    // One program per queue: a second one (the same data folder twice)
    // would interleave its records with this one's.
    bool busy = false;
    QString why;
    lockFd_ = files::LockFile(QDir(folder_).filePath(QStringLiteral("lock")), &busy, &why);
    if (lockFd_ < 0) {
        result.error = busy ? Texts::tr("フォルダ %1 は別の Quillmeter が使っています").arg(QDir::toNativeSeparators(folder_))
                            : QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(folder_), why);
        return result;
    }
    std::vector<uint32_t> numbers;
    for (const QString& name : QDir(folder_).entryList({QStringLiteral("q-*.dat")}, QDir::Files)) {
        const uint32_t n = SegmentNumber(name);  // other names (q-5.dat) are no segments of this queue
        if (n > 0) numbers.push_back(n);
    }
    std::sort(numbers.begin(), numbers.end());

    Position done;
    QFile ack(ackPath());
    if (ack.exists()) {
        uint32_t seg = 0;
        uint64_t off = 0;
        if (ack.open(QIODevice::ReadOnly) && ParseAck(ack.read(256), &seg, &off)) {
            done = {seg, off};
        } else {
            result.ackUnreadable = !numbers.empty();
        }
    }
    savedDone_ = done;

    bool startNew = false;  // the newest segment's tail could not be cut off
    for (size_t i = 0; i < numbers.size(); ++i) {
        const uint32_t n = numbers[i];
        const QString path = segmentPath(n);
        if (n < done.segment) {
            QFile::remove(path);  // done before the program ended, not yet removed
            continue;
        }
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            result.damagedBytes += f.size();
            continue;
        }
        const qint64 size = f.size();
        const QByteArray bytes = f.read(std::min(size, MaxScanBytes));
        f.close();
        int64_t validEnd = 0;
        scanSegment(n, bytes, done, &result, &validEnd);
        result.damagedBytes += size - qint64(bytes.size());
        uint64_t kept = uint64_t(size);
        if (i + 1 == numbers.size() && validEnd < size) {
            // A torn tail (the program ended in mid-write): cut off, so
            // that what is appended next follows a sound record.
            if (files::CutFile(path, uint64_t(validEnd))) kept = uint64_t(validEnd);
            else startNew = true;
        }
        segments_.push_back({n, kept});
        totalBytes_ += int64_t(kept);
    }
    result.pending = int64_t(entries_.size());

    // Append to the newest segment unless it is full (or there is none).
    // A new segment is numbered past every earlier one and past the one the
    // `acked` file names, so no offset in it was ever said to be done.
    const uint32_t next = std::max(segments_.empty() ? 0u : segments_.back().first, done.segment) + 1;
    if (!segments_.empty() && !startNew && segments_.back().second < uint64_t(segmentBytes_) &&
        !(segments_.back().first == done.segment && segments_.back().second < done.offset)) {
        segment_ = segments_.back().first;
        segmentSize_ = segments_.back().second;
        const QString error = openSegmentLocked(segment_);
        if (!error.isEmpty()) result.error = error;
    } else if (next > MaxSegment) {
        // No number is left for a new segment: what waits is still sent,
        // and every append says why it is refused.
        segment_ = next - 1;
        segmentSize_ = !segments_.empty() && segments_.back().first == segment_ ? segments_.back().second : done.offset;
    } else {
        const QString error = openSegmentLocked(next);
        if (!error.isEmpty()) result.error = error;
    }
    doneMoved_ = true;  // the `acked` file is written afresh for what was found
    return result;
}

void DiskQueue::scanSegment(uint32_t segment, const QByteArray& bytes, Position done, OpenResult* result,
                            int64_t* validEnd) {
    size_t pos = 0;
    const size_t n = size_t(bytes.size());
    QueueRecord r;
    // A sound segment costs its size in CRC; headers that announce long
    // bodies over and over (a crafted file) could cost a megabyte each.
    // Past this budget the rest of the segment counts as damaged.
    int64_t crcBudget = 4 * int64_t(n) + 2 * int64_t(MaxRecordBytes);
    while (pos < n) {
        const size_t size = SoundRecordAt(bytes, pos, &r, &crcBudget);
        if (crcBudget < 0) {
            result->damagedBytes += int64_t(n - pos);
            break;
        }
        if (size) {
            if (segment > done.segment || pos >= done.offset)
                addEntryLocked(segment, uint32_t(pos), uint32_t(size), r.runId, r.queuedMs);
            pos += size;
            *validEnd = int64_t(pos);
            continue;
        }
        // Damaged or torn: go on at the next magic that starts a sound record.
        size_t next = pos + 1;
        const char m[4] = {'Q', 'M', 'Q', '1'};
        for (;;) {
            const qsizetype at = bytes.indexOf(QByteArrayView(m, 4), qsizetype(next));
            if (at < 0) {
                next = n;
                break;
            }
            if (SoundRecordAt(bytes, size_t(at), nullptr, &crcBudget)) {
                next = size_t(at);
                break;
            }
            if (crcBudget < 0) {
                next = n;
                break;
            }
            next = size_t(at) + 1;
        }
        result->damagedBytes += int64_t(next - pos);
        pos = next;
    }
}

QString DiskQueue::openSegmentLocked(uint32_t segment) {
    if (segment == 0 || segment > MaxSegment)
        return Texts::tr("送信待ちファイルの番号が上限 (q-%1.dat) に達しました: フォルダ %2 を空にしてください")
            .arg(MaxSegment)
            .arg(QDir::toNativeSeparators(folder_));
    files::Close(fd_);
    const bool isNew = segments_.empty() || segments_.back().first != segment;
    QString why;
    fd_ = files::OpenAppend(segmentPath(segment), &why);
    if (fd_ < 0) return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(segmentPath(segment)), why);
    segment_ = segment;
    if (isNew) {
        segments_.push_back({segment, 0});
        segmentSize_ = 0;
        unsynced_ = true;  // the new file's name too
        if (entries_.empty()) doneMoved_ = true;  // what is done now ends in the new segment
    }
    return {};
}

void DiskQueue::addEntryLocked(uint32_t segment, uint32_t offset, uint32_t size, const QByteArray& runId,
                               int64_t queuedMs) {
    if (runs_.empty() || runs_.back() != runId) runs_.push_back(runId);
    entries_.push_back({segment, offset, size, uint32_t(runBase_ + runs_.size() - 1), queuedMs});
}

DiskQueue::AppendResult DiskQueue::append(const QueueRecord& record) {
    AppendResult result;
    const QByteArray bytes = Encode(record);
    const auto need = int64_t(bytes.size());
    std::lock_guard lock(mutex_);
    if (bytes.size() - HeaderBytes > MaxRecordBytes || need > maxBytes_ / 2) {
        result.error = Texts::tr("記録が大きすぎます (%1 バイト)").arg(need);
        return result;
    }
    // A new segment when this one is full, or when all it holds is done and
    // it has grown (the done one is then removed by the publisher).
    if (fd_ < 0 || segmentSize_ >= uint64_t(segmentBytes_) || (entries_.empty() && segmentSize_ >= CompactBytes)) {
        const QString error = openSegmentLocked(segment_ + 1);
        if (!error.isEmpty()) {
            result.error = error;
            return result;
        }
    }
    while (totalBytes_ + need > maxBytes_) {
        if (!entries_.empty()) {
            giveUpOldestRunLocked(&result);
        } else if (segmentSize_ > 0) {
            const QString error = openSegmentLocked(segment_ + 1);
            if (!error.isEmpty()) {
                result.error = error;
                return result;
            }
            dropSegmentsBeforeLocked(segment_);
        } else {
            break;
        }
    }
    if (!files::WriteAll(fd_, bytes.constData(), need, &result.error)) {
        // Nothing of a record that is not whole stays in the file.
        if (!files::CutTo(fd_, segmentSize_)) {
            // The tail cannot be cut: append to a new segment from now on
            // (reading skips the torn record).
            segmentSize_ = uint64_t(segmentBytes_);
        }
        return result;
    }
    addEntryLocked(segment_, uint32_t(segmentSize_), uint32_t(need), record.runId, record.queuedMs);
    segmentSize_ += uint64_t(need);
    segments_.back().second = segmentSize_;
    totalBytes_ += need;
    ++appended_;
    unsynced_ = true;
    return result;
}

void DiskQueue::giveUpOldestRunLocked(AppendResult* result) {
    const uint32_t run = entries_.front().run;
    GivenUp g;
    g.runId = runs_[run - runBase_];
    uint64_t seq = firstSeq_;
    for (const Entry& e : entries_) {
        if (e.run != run) break;
        ++seq;
        ++g.records;
    }
    advanceDoneLocked(seq);
    result->givenUp.push_back(g);
    dropSegmentsBeforeLocked(entries_.empty() ? segment_ : entries_.front().segment);
}

void DiskQueue::dropSegmentsBeforeLocked(uint32_t segment) {
    while (!segments_.empty() && segments_.front().first < segment && segments_.front().first != segment_) {
        QFile::remove(segmentPath(segments_.front().first));
        totalBytes_ -= int64_t(segments_.front().second);
        segments_.erase(segments_.begin());
    }
}

void DiskQueue::advanceDoneLocked(uint64_t seq) {
    seq = std::min(seq, firstSeq_ + entries_.size());
    if (seq <= firstSeq_) return;
    while (firstSeq_ < seq) {
        entries_.pop_front();
        ++firstSeq_;
    }
    const uint64_t firstRun = entries_.empty() ? runBase_ + runs_.size() : entries_.front().run;
    while (runBase_ < firstRun && !runs_.empty()) {
        runs_.pop_front();
        ++runBase_;
    }
    if (entries_.empty() && !runs_.empty()) {
        // Keep the newest run id: the next record of the same run joins it.
        runBase_ += runs_.size() - 1;
        runs_.erase(runs_.begin(), runs_.end() - 1);
    }
    doneMoved_ = true;
}

uint64_t DiskQueue::firstPending() const {
    std::lock_guard lock(mutex_);
    return firstSeq_;
}

uint64_t DiskQueue::end() const {
    std::lock_guard lock(mutex_);
    return firstSeq_ + entries_.size();
}

bool DiskQueue::read(uint64_t seq, QueueRecord* out, QString* error, bool* damaged) {
    if (damaged) *damaged = false;
    Entry e{};
    {
        std::lock_guard lock(mutex_);
        if (seq < firstSeq_ || seq >= firstSeq_ + entries_.size()) return false;
        e = entries_[size_t(seq - firstSeq_)];
    }
    if (readFd_ < 0 || readSegment_ != e.segment) {
        files::Close(readFd_);
        QString why;
        readFd_ = files::OpenRead(segmentPath(e.segment), &why);
        readSegment_ = e.segment;
        if (readFd_ < 0) {
            if (error) *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(segmentPath(e.segment)), why);
            return false;
        }
    }
    QByteArray bytes(qsizetype(e.size), Qt::Uninitialized);
    if (!files::ReadAt(readFd_, bytes.data(), e.size, e.offset, error)) {
        files::Close(readFd_);  // opened anew next time
        readFd_ = -1;
        return false;
    }
    if (SoundRecordAt(bytes, 0, out) != e.size) {
        if (error) *error = Texts::tr("記録が壊れています");
        if (damaged) *damaged = true;
        return false;
    }
    return true;
}

void DiskQueue::markDone(uint64_t seq) {
    std::lock_guard lock(mutex_);
    advanceDoneLocked(seq);
}

DiskQueue::Position DiskQueue::donePositionLocked() const {
    if (!entries_.empty()) return {entries_.front().segment, entries_.front().offset};
    return {segment_, segmentSize_};
}

QString DiskQueue::saveDone() {
    Position p;
    {
        std::lock_guard lock(mutex_);
        if (!doneMoved_) return {};
        doneMoved_ = false;
        p = donePositionLocked();
    }
    QSaveFile f(ackPath());
    const QByteArray text = AckText(p.segment, p.offset);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size() || !f.commit()) {
        std::lock_guard lock(mutex_);
        doneMoved_ = true;
        return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(ackPath()), f.errorString());
    }
    std::lock_guard lock(mutex_);
    savedDone_ = p;
    return {};
}

QString DiskQueue::removeDoneSegments() {
    std::vector<QString> gone;
    {
        std::lock_guard lock(mutex_);
        // Only segments before the one the `acked` file points into: after a
        // crash the file may be all that says they are done.
        const uint32_t keepFrom = std::min(savedDone_.segment, entries_.empty() ? segment_ : entries_.front().segment);
        while (!segments_.empty() && segments_.front().first < keepFrom && segments_.front().first != segment_) {
            gone.push_back(segmentPath(segments_.front().first));
            totalBytes_ -= int64_t(segments_.front().second);
            segments_.erase(segments_.begin());
        }
    }
    QString error;
    for (const QString& path : gone)
        if (!QFile::remove(path) && QFile::exists(path)) error = Texts::tr("%1 を削除できません").arg(QDir::toNativeSeparators(path));
    return error;
}

bool DiskQueue::needsSync() const {
    std::lock_guard lock(mutex_);
    return unsynced_;
}

QString DiskQueue::sync() {
    std::vector<QString> paths;
    {
        std::lock_guard lock(mutex_);
        if (!unsynced_) return {};
        unsynced_ = false;
        // Every segment that may hold bytes appended since the last sync: the
        // current one and, after a rotation, the one before it.
        for (auto it = segments_.rbegin(); it != segments_.rend() && paths.size() < 2; ++it)
            paths.push_back(segmentPath(it->first));
    }
    QString error;
    for (const QString& path : paths) {
        QString why;
        if (!files::SyncFile(path, &why)) error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), why);
    }
    files::SyncFolder(folder_);
    if (!error.isEmpty()) {
        // Not durable: tried again at the next sync.
        std::lock_guard lock(mutex_);
        unsynced_ = true;
    }
    return error;
}

DiskQueue::Stats DiskQueue::stats() const {
    std::lock_guard lock(mutex_);
    Stats s;
    s.records = int64_t(entries_.size());
    s.bytes = totalBytes_;
    s.oldestMs = entries_.empty() ? 0 : entries_.front().queuedMs;
    s.appended = appended_;
    return s;
}

}  // namespace qm
