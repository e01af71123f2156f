// Formatting on the second core: the thread and the batches it works on.
#include "rawinq/format_ahead.h"

#include <malloc.h>
#include <pthread.h>
#include <signal.h>

#include <system_error>
#include <utility>

namespace {

// The text unit a batch is formatted into.
class TextCapture final : public OutputUnit {
 public:
  TextCapture(std::string& text, const std::string& path)
      : text_(text), path_(path) {}
  void put_lines(const std::string& text, int) override { text_ += text; }
  void put_line(const std::string& text, bool) override {
    text_ += text;
    text_ += '\n';
  }
  bool paging() const override { return false; }
  int ncid() const override { return -1; }
  void check(int) override {}
  const std::string& path() const override { return path_; }

 private:
  std::string& text_;
  const std::string& path_;
};

}  // namespace

FormatAhead::FormatAhead(std::size_t batch_soundings,
                         std::size_t batch_levels)
    : batch_(batch_soundings == 0 ? 1 : batch_soundings),
      batch_levels_(batch_levels == 0 ? 1 : batch_levels) {}

FormatAhead::~FormatAhead() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return !busy_; });
    stop_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void FormatAhead::add(const Sounding& sounding, const STATREC& station,
                      const WriteOptions& options) {
  if (filling_.items.size() <= filling_.used) filling_.items.emplace_back();
  Item& item = filling_.items[filling_.used++];
  item.sounding.header = sounding.header;
  item.sounding.levels.assign(sounding.levels.begin(), sounding.levels.end());
  filling_.levels += sounding.levels.size();
  item.station = &station;
  item.options = &options;
}

void FormatAhead::format(Batch& batch, SoundingWriter& writer,
                         const std::string& path) {
  TextCapture unit(batch.text, path);
  for (std::size_t i = 0; i < batch.used; ++i) {
    const Item& item = batch.items[i];
    writer.write(unit, item.sounding, *item.station, *item.options);
  }
}

void FormatAhead::wait(bool rethrow) {
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return !busy_; });
  if (!failure_) return;
  // The batch that failed is never written.
  working_.reset();
  if (rethrow) std::rethrow_exception(std::exchange(failure_, {}));
  failure_ = nullptr;
}

void FormatAhead::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return busy_ || stop_; });
    if (!busy_) return;  // stopped
    lock.unlock();
    std::exception_ptr failure;
    try {
      format(working_, *writer_, path_);
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    failure_ = failure;
    busy_ = false;
    done_.notify_all();
  }
}

void FormatAhead::start_thread() {
  // The thread takes no signal: an interruption is the caller's to see, at
  // its checkpoints or in the read of an answer it is waiting for.
  // The thread allocates from the program's one heap rather than an arena
  // of its own: the batches' text moves between the threads, and a second
  // arena keeps what either frees apart (some 350 KB more at the peak).
  mallopt(M_ARENA_MAX, 1);
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &before);
  try {
    thread_ = std::thread([this] { run(); });
  } catch (...) {
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    throw;
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

void FormatAhead::hand_over(SoundingWriter& writer, const std::string& path,
                            const Emit& emit) {
  wait(true);
  std::swap(filling_, working_);
  // filling_ holds the batch formatted before (if any), working_ the new.
  bool started = false;
  if (!no_thread_) {
    try {
      if (!thread_.joinable()) start_thread();
      {
        std::lock_guard<std::mutex> lock(mutex_);
        writer_ = &writer;
        path_ = path;
        busy_ = true;
      }
      wake_.notify_one();
      started = true;
    } catch (const std::system_error&) {
      no_thread_ = true;  // no thread to be had: formatting stays here
    }
  }
  if (!started) format(working_, writer, path);
  if (filling_.used > 0) emit(filling_.text);
  filling_.reset();
}

void FormatAhead::finish(SoundingWriter& writer, const std::string& path,
                         const Emit& emit) {
  wait(true);
  // A failed emit is followed by discard(), so nothing is written twice.
  if (working_.used > 0) {
    emit(working_.text);
    working_.reset();
  }
  if (filling_.used > 0) {
    format(filling_, writer, path);
    emit(filling_.text);
    filling_.reset();
  }
}

void FormatAhead::discard() {
  wait(false);
  filling_.reset();
  working_.reset();
}
