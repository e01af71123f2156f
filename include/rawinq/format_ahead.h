// Formatting on the second core. The output session hands soundings over
// in batches; a thread of its own formats each batch with the unit's
// writer into text while the session's thread reads and decodes the next
// soundings and writes out the text of the batch before. The text comes
// back in the order the soundings went in, so the bytes written are those
// of formatting one sounding after the other.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "rawinq/formats.h"

class FormatAhead {
 public:
  // What takes the text of a batch, in order; it may throw (a failed
  // write), after which only discard() and the destructor are called.
  using Emit = std::function<void(const std::string&)>;

  // A batch is handed over when it holds batch_soundings soundings or
  // batch_levels levels in all, whichever comes first: the thread is woken
  // for a batch's worth of work, however short the soundings.
  FormatAhead(std::size_t batch_soundings, std::size_t batch_levels);
  ~FormatAhead();  // waits for the thread and ends it
  FormatAhead(const FormatAhead&) = delete;
  FormatAhead& operator=(const FormatAhead&) = delete;

  // Takes a copy of the sounding. The station entry and the options must
  // stay as they are until the batch has been formatted (they are the
  // request's).
  void add(const Sounding& sounding, const STATREC& station,
           const WriteOptions& options);
  bool full() const {
    return filling_.used >= batch_ || filling_.levels >= batch_levels_;
  }
  bool pending() const { return filling_.used > 0 || working_.used > 0; }

  // Hands the full batch to the thread (once it has finished the one
  // before, whose text then goes to emit while the thread works). Where no
  // thread can be started the batch is formatted here.
  // The writer sees a text unit at `path` (the session's unit).
  void hand_over(SoundingWriter& writer, const std::string& path,
                 const Emit& emit);
  // Everything still queued, formatted and given to emit in order.
  void finish(SoundingWriter& writer, const std::string& path,
              const Emit& emit);
  // Forgets every sounding not yet given to emit, once the thread is done
  // with the writer.
  void discard();

 private:
  struct Item {
    Sounding sounding;
    const STATREC* station = nullptr;
    const WriteOptions* options = nullptr;
  };
  struct Batch {
    std::vector<Item> items;
    std::size_t used = 0;
    std::size_t levels = 0;  // of the soundings used
    std::string text;
    void reset() {
      used = 0;
      levels = 0;
      text.clear();
    }
  };

  static void format(Batch& batch, SoundingWriter& writer,
                     const std::string& path);
  // Waits until the thread is idle; a failure of its last batch is thrown
  // here when rethrow.
  void wait(bool rethrow);
  void run();
  void start_thread();

  const std::size_t batch_, batch_levels_;
  Batch filling_;  // the caller's
  Batch working_;  // the thread's while busy_, then formatted text

  std::mutex mutex_;
  std::condition_variable wake_, done_;
  bool busy_ = false, stop_ = false, no_thread_ = false;
  SoundingWriter* writer_ = nullptr;
  std::string path_;  // the unit's, as the thread's batch was handed over
  std::exception_ptr failure_;
  std::thread thread_;
};
