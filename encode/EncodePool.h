// TEncodePool: the encoders of one conversion session on worker threads, so
// that earlier tracks are encoded while the drive reads the next. It owns the
// session's encode tasks and, for each track encoded as it is read, a TPcmQueue
// that carries the PCM from the reading thread to the track's encoder; the
// threads are a TEncodeWorkers of its own or one that several sessions share
// (one per drive), so the encoders stay one per core in total. A pool is
// created, fed, polled and destroyed on its session's thread; it never makes
// that thread wait for an encoder longer than one chunk.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "encode/Encoder.h"

class QFile;
class TLameCoder;
class TEncodePool;
class TEncodeWorkers;

// PCM on its way from the reading thread to one encoder, in order. It is held
// in memory while the pool's memory budget allows and the encoder keeps up;
// the rest goes to a temporary file of its own in the given folder, created
// exclusively and unlinked at once, so no failure can leave it behind. With
// no folder (none has room) everything stays in memory. One writer thread,
// one reader thread.
class TPcmQueue {
 public:
  TPcmQueue(QString spillFolder, std::shared_ptr<std::atomic<int64_t>> memoryInUse,
            int64_t memoryBudget);
  ~TPcmQueue();
  TPcmQueue(const TPcmQueue&) = delete;
  TPcmQueue& operator=(const TPcmQueue&) = delete;

  // Never waits for the reader. Throws ELameError when the temporary file
  // cannot be created or written.
  void Write(const uint8_t* data, int64_t bytes);
  // No more data: Read returns 0 once everything written was read.
  void Close();
  // Read returns 0 at once from now on; what was not read is dropped.
  void Cancel();
  // Waits until data, the end or a cancel; returns the bytes copied (at most
  // `bytes`), 0 at the end.
  int64_t Read(uint8_t* data, int64_t bytes);

  // Bytes that went through the temporary file so far.
  int64_t SpilledBytes() const;

 private:
  void SpillWrite(const uint8_t* data, int64_t bytes);

  const QString FSpillFolder;
  const std::shared_ptr<std::atomic<int64_t>> FMemoryInUse;
  const int64_t FMemoryBudget;
  mutable std::mutex FLock;
  std::condition_variable FChanged;
  std::deque<std::vector<uint8_t>> FMemory;  // precedes everything in the file
  size_t FMemoryOffset = 0;                  // bytes of the front segment already read
  int FSpillFd = -1;
  QString FSpillName;     // for messages: the file is unlinked
  int64_t FFileRead = 0;  // the file's unread bytes are [FFileRead, FFileWrite)
  int64_t FFileWrite = 0;
  int64_t FSpilled = 0;
  bool FClosed = false;
  bool FCancelled = false;
};

// What a task sees of the pool while it runs on a worker.
class TEncodeContext {
 public:
  // True once the pool was stopped: the task ends after the chunk in hand.
  bool Stopped() const;
  void SetProgress(int percent);
  // The step the task is in (a stage of the session), for the display.
  void SetStage(uint8_t stage);

 private:
  friend class TEncodePool;
  friend class TEncodeWorkers;
  struct TTask;
  TEncodeContext(TEncodePool& pool, TTask& task) : FPool(pool), FTask(task) {}
  TEncodePool& FPool;
  TTask& FTask;
};

// Runs on a worker; a failure is raised as any exception.
using TEncodeWork = std::function<void(TEncodeContext& context)>;

// Gives up to `bytes` bytes of CD audio; 0 at the end.
using TPcmSource = std::function<int64_t(uint8_t* data, int64_t bytes)>;

// Runs the encoder over everything `read` gives, into `output` (open, empty):
// Begin, whole frames, End. expectedBytes (the track's PCM, 0 when unknown)
// sizes the encoder's headers and scales the progress.
void RunEncoder(TEncoder& encoder, QFile& output, const TPcmSource& read, int64_t expectedBytes,
                TEncodeContext& context);

// The encoder threads, shared by the pools made on them: each runs one task
// at a time, of whichever pool added it, the waiting task of the largest
// weight first. Any thread; it outlives its pools (they hold it).
class TEncodeWorkers {
 public:
  // threads: the EncoderThreads setting, 0 for one per core.
  explicit TEncodeWorkers(int threads);
  ~TEncodeWorkers();
  TEncodeWorkers(const TEncodeWorkers&) = delete;
  TEncodeWorkers& operator=(const TEncodeWorkers&) = delete;

  int Threads() const { return int(FThreads.size()); }
  // The most tasks that ran at once so far, and the tasks run to their end.
  int PeakRunning() const;
  int Ran() const;

 private:
  friend class TEncodePool;
  using TTask = TEncodeContext::TTask;
  void Queue(std::shared_ptr<TTask> task);
  // Takes the pool's waiting tasks out of the queue.
  std::vector<std::shared_ptr<TTask>> TakeWaiting(const TEncodePool* pool);
  void WorkerLoop();

  std::vector<std::thread> FThreads;
  mutable std::mutex FLock;
  std::condition_variable FWork;
  std::deque<std::shared_ptr<TTask>> FWaiting;
  bool FShutdown = false;
  int FRunning = 0;
  int FPeak = 0;
  int FRan = 0;
};

class TEncodePool {
 public:
  // With workers of its own; threads: the EncoderThreads setting, 0 for one
  // per core.
  explicit TEncodePool(int threads);
  // On workers other pools may share.
  explicit TEncodePool(std::shared_ptr<TEncodeWorkers> workers);
  // Stops every task and waits for its running ones, at most one chunk each.
  ~TEncodePool();
  TEncodePool(const TEncodePool&) = delete;
  TEncodePool& operator=(const TEncodePool&) = delete;

  // Where a backlog of `bytes` waits beyond the memory budget: the user's
  // cache folder, else the system's temporary folder, whichever has room for
  // it (never the output folder, whose space the outputs need); empty when
  // neither has.
  static QString SpillFolder(int64_t bytes);
  // The number of encoder threads a setting asks for.
  static int ThreadCount(int setting);
  int Threads() const { return FWorkers->Threads(); }

  // Queues work for job `job` (any number the caller uses to tell its results).
  // A free worker takes the waiting task of the largest weight (the earliest
  // of equals), of any pool on the workers: the longest tracks first, so no
  // long one is left alone at the end while the other cores idle.
  void Add(int job, TEncodeWork work, int64_t weight = 0);
  // Queues the on-the-fly encoding of one track: creates (or truncates) the
  // file at outputPath now, and returns the queue that the reader feeds and
  // closes; expectedBytes (the track's PCM) scales the progress and chooses
  // where the backlog may wait (SpillFolder). Throws ELameError when the file
  // cannot be created.
  std::shared_ptr<TPcmQueue> AddStream(int job, std::unique_ptr<TEncoder> encoder,
                                       const QString& outputPath, int64_t expectedBytes);
  // The same into an MP3 with a copy of the LAME settings of `settings`.
  std::shared_ptr<TPcmQueue> AddStream(int job, const TLameCoder& settings,
                                       const QString& outputPath, int64_t expectedBytes);

  // Every running task of this pool ends after its chunk, and its queued ones
  // never start; other pools on the workers go on.
  void Stop();
  bool Stopped() const { return FStopped.load(); }

  struct TTaskState {
    int Job = 0;
    bool Running = false;  // false while it waits for a worker
    uint8_t Stage = 0;
    int Percent = 0;
  };
  // The unfinished tasks in the order they were added.
  std::vector<TTaskState> Unfinished() const;

  struct TResult {
    int Job = 0;
    bool Stopped = false;  // ended or dropped by Stop
    bool Failed = false;
    QString Error;  // the failure's message
    std::exception_ptr Failure;
  };
  // The tasks finished since the last call, in the order they finished.
  std::vector<TResult> TakeFinished();
  // True when every task added has finished and been taken.
  bool Idle() const;
  // The number of tasks added so far.
  int Added() const;

  // Called on the thread that created the pool whenever a task started,
  // changed its stage or finished; several changes may come as one call.
  // Progress alone is not reported: poll Unfinished for it.
  std::function<void()> OnChanged;

 private:
  friend class TEncodeContext;
  friend class TEncodeWorkers;
  using TTask = TEncodeContext::TTask;
  // Runs on a worker.
  void Run(TTask& task);
  void Finish(const std::shared_ptr<TTask>& task, TResult result);
  void Notify();

  std::shared_ptr<TEncodeWorkers> FWorkers;
  mutable std::mutex FLock;
  std::condition_variable FTaskEnded;
  std::vector<std::shared_ptr<TTask>> FTasks;  // every unfinished task, in order
  std::vector<TResult> FFinished;
  int FAdded = 0;
  std::vector<std::weak_ptr<TPcmQueue>> FQueues;
  std::atomic<bool> FStopped = false;
  const std::shared_ptr<std::atomic<int64_t>> FMemoryInUse;
  std::unique_ptr<QObject> FNotifier;  // lives on the creating thread
  std::atomic<bool> FNotifyPending = false;
};
