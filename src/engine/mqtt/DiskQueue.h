#pragma once
// The records on their way to the MQTT broker, kept on disk until the broker
// has acknowledged them: a folder of numbered segment files (q-00000001.dat,
// ...), only ever appended to, and a small file `acked` that says up to where
// everything is done (acknowledged or given up), replaced atomically.
//
// A record on disk: the magic "QMQ1", the body's length and its CRC-32 (each
// four bytes, little-endian), then the body: the time it was queued (ms since
// the epoch, eight bytes), its kind, the run id, the topic and the payload.
// Reading checks every record: a torn or damaged one (a crash in mid-write,
// bytes changed on disk) is skipped, and reading goes on at the next magic
// that starts a sound record; it never takes a length it has not checked.
//
// One thread appends (the run's worker), another reads and marks records
// done (the publisher); both may call at once. The append is one write(2)
// of the whole record under the queue's lock and nothing else, so the run
// never waits for the broker. The queue keeps an index of the records not
// yet done in memory (about 40 bytes each: for 100 MB of records of 500
// bytes, about 8 MB).
//
// Bounded: when an append would take the segments past maxBytes, the oldest
// run that still has records not done is given up (its records are marked
// done unsent) until the record fits; the append says which runs.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace qm {

uint32_t Crc32(const char* data, size_t size, uint32_t crc = 0);

struct QueueRecord {
    enum class Kind : uint8_t { Cycle = 1, Event = 2 };
    Kind kind = Kind::Cycle;
    int64_t queuedMs = 0;  // when it was queued (ms since the epoch)
    QByteArray runId;
    QByteArray topic;
    QByteArray payload;
};

class DiskQueue {
public:
    static constexpr int64_t DefaultMaxBytes = int64_t(100) << 20;
    static constexpr int MaxRecordBytes = 1 << 20;  // a body longer than this is never read as one
    static constexpr uint32_t Magic = 0x31514D51;    // "QMQ1"
    static constexpr int HeaderBytes = 12;

    struct GivenUp {
        QByteArray runId;
        int64_t records = 0;
    };
    struct AppendResult {
        QString error;                // the record is not on disk: why (the system's words)
        std::vector<GivenUp> givenUp;  // runs given up to make room
        bool ok() const { return error.isEmpty(); }
    };
    struct OpenResult {
        QString error;             // the queue cannot be used at all
        int64_t damagedBytes = 0;  // bytes skipped as torn or damaged
        int64_t pending = 0;       // records not done, to be sent first
        bool ackUnreadable = false;  // the `acked` file could not be read: everything is sent again
    };
    struct Stats {
        int64_t records = 0;       // records not done
        int64_t bytes = 0;         // bytes of the segment files
        int64_t oldestMs = 0;      // when the oldest record not done was queued; 0: none
        uint64_t appended = 0;     // records appended since the queue was opened
    };

    // `folder` is made when missing. `maxBytes` bounds the segment files
    // together (a segment is rotated at a tenth of it, at most 4 MB).
    DiskQueue(QString folder, int64_t maxBytes = DefaultMaxBytes);
    ~DiskQueue();
    DiskQueue(const DiskQueue&) = delete;
    DiskQueue& operator=(const DiskQueue&) = delete;

    // Reads what an earlier run of the program left (records not done are
    // kept, in order; a torn tail is cut off). Call once, before the rest.
    // Fails while another queue (another program) has the folder open.
    OpenResult open();
    QString folder() const { return folder_; }
    int64_t maxBytes() const { return maxBytes_; }

    // The worker's call: the record goes to disk in one write; on a failure
    // nothing of it stays in the file.
    AppendResult append(const QueueRecord& record);

    // Sequence numbers: every record appended or found at open gets the next
    // one; the records not done are firstPending() .. end() - 1.
    uint64_t firstPending() const;
    uint64_t end() const;
    // Reads record `seq` (not done yet) from disk. False when it is done (it
    // may have been given up meanwhile) or cannot be read (*error says why);
    // then *damaged tells bytes that were read but are no sound record from
    // a file that could not be opened or read (which may pass).
    bool read(uint64_t seq, QueueRecord* out, QString* error, bool* damaged = nullptr);
    // Every record before `seq` is done (acknowledged).
    void markDone(uint64_t seq);

    // The publisher's housekeeping, none of it on the worker: writes the
    // `acked` file when what is done has moved (atomically: a new file
    // renamed over the old one), removes segments whose records are all
    // done, and makes the appended bytes durable (fdatasync) when asked.
    // Each returns an error text, or an empty one; after a failed sync the
    // bytes still count as not durable (needsSync()).
    QString saveDone();
    QString removeDoneSegments();
    QString sync();
    bool needsSync() const;

    Stats stats() const;

private:
    struct Entry {
        uint32_t segment;
        uint32_t offset;
        uint32_t size;      // header and body
        uint32_t run;       // index into runs_ (counted from runBase_)
        int64_t queuedMs;
    };
    struct Position {
        uint32_t segment = 0;
        uint64_t offset = 0;
    };
    QString segmentPath(uint32_t segment) const;
    QString ackPath() const;
    QString openSegmentLocked(uint32_t segment);
    void scanSegment(uint32_t segment, const QByteArray& bytes, Position done, OpenResult* result,
                     int64_t* validEnd);
    void addEntryLocked(uint32_t segment, uint32_t offset, uint32_t size, const QByteArray& runId,
                        int64_t queuedMs);
    Position donePositionLocked() const;
    void giveUpOldestRunLocked(AppendResult* result);
    void dropSegmentsBeforeLocked(uint32_t segment);
    void advanceDoneLocked(uint64_t seq);

    const QString folder_;
    const int64_t maxBytes_;
    const int64_t segmentBytes_;

    mutable std::mutex mutex_;
    int fd_ = -1;                 // the segment being appended to
    uint32_t segment_ = 0;        // its number
    uint64_t segmentSize_ = 0;
    std::vector<std::pair<uint32_t, uint64_t>> segments_;  // number and size, oldest first
    int64_t totalBytes_ = 0;
    std::deque<Entry> entries_;   // records firstSeq_ .. end-1 (done ones are popped)
    uint64_t firstSeq_ = 0;
    std::deque<QByteArray> runs_;  // run ids of the entries, by index from runBase_
    uint64_t runBase_ = 0;
    uint64_t appended_ = 0;
    bool doneMoved_ = false;       // the `acked` file is behind
    bool unsynced_ = false;        // appended bytes not yet made durable
    Position savedDone_;           // what the `acked` file says
    int readFd_ = -1;              // the publisher's read handle
    int lockFd_ = -1;              // holds the folder's lock while the queue is open
    uint32_t readSegment_ = 0;
};

}  // namespace qm
