#pragma once
// The settings that a run reads while it goes on, at fixed points of each
// cycle: the check boxes and the interval, folder and header texts. The
// window writes them whenever a control changes; the worker reads them.
// Thread-safe.
#include <QString>
#include <mutex>

namespace qm {

struct LiveValues {
    bool log = false;         // 自動測定ログ
    bool waveSave = false;    // CSV波形格納
    bool screenShow = false;  // DS画面表示
    bool screenSave = false;  // DS画面格納
    bool manual = false;      // マニュアル継続
    QString intervalText;     // 繰返間隔(s)
    QString folder;           // フォルダ
    QString header;           // 名称ヘッダ
};

class LiveSettings {
public:
    LiveValues get() const {
        std::lock_guard lock(mutex_);
        return values_;
    }
    void set(const LiveValues& v) {
        std::lock_guard lock(mutex_);
        values_ = v;
    }
    template <typename F>
    void update(F&& change) {
        std::lock_guard lock(mutex_);
        change(values_);
    }

private:
    mutable std::mutex mutex_;
    LiveValues values_;
};

}  // namespace qm
