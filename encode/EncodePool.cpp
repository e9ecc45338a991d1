#include "encode/EncodePool.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "encode/LameCoder.h"
#include "encode/Mp3Encoder.h"
#include "platform/Files.h"
#include "platform/Folders.h"

namespace {

// PCM held in memory by all queues of a pool together; the rest waits in
// temporary files. About 12 s of CD audio.
constexpr int64_t kMemoryBudget = 2 << 20;
constexpr int kWorkerNice = 5;  // added to the process's nice value

}  // namespace

void RunEncoder(TEncoder& encoder, QFile& output, const TPcmSource& read, int64_t expectedBytes,
                TEncodeContext& context) {
  // Whole frames only reach the encoder; a read may end inside one.
  constexpr int64_t kBufferBytes = 1176 * kCdFrameBytes * 4;  // four CD sectors
  std::vector<int16_t> buffer(kBufferBytes / sizeof(int16_t));
  auto* bytes = reinterpret_cast<uint8_t*>(buffer.data());
  encoder.Begin(output, expectedBytes / kCdFrameBytes);
  int64_t filled = 0, total = 0;
  for (;;) {
    const int64_t got = read(bytes + filled, kBufferBytes - filled);
    if (got <= 0) break;
    filled += got;
    total += got;
    const int64_t whole = filled - filled % kCdFrameBytes;
    if (whole == 0) continue;
    encoder.Write(buffer.data(), size_t(whole / kCdFrameBytes));
    std::memmove(bytes, bytes + whole, size_t(filled - whole));
    filled -= whole;
    if (expectedBytes > 0)
      context.SetProgress(int(std::min<int64_t>(100, total * 100 / expectedBytes)));
  }
  encoder.End();
  context.SetProgress(100);
}

// ---- TPcmQueue

TPcmQueue::TPcmQueue(QString spillFolder, std::shared_ptr<std::atomic<int64_t>> memoryInUse,
                     int64_t memoryBudget)
    : FSpillFolder(std::move(spillFolder)),
      FMemoryInUse(std::move(memoryInUse)),
      FMemoryBudget(memoryBudget) {}

TPcmQueue::~TPcmQueue() {
  int64_t held = 0;
  for (const auto& segment : FMemory) held += int64_t(segment.size());
  FMemoryInUse->fetch_sub(held - int64_t(FMemoryOffset));
  if (FSpillFd >= 0) ::close(FSpillFd);
}

void TPcmQueue::Write(const uint8_t* data, int64_t bytes) {
  if (bytes <= 0) return;
  std::lock_guard<std::mutex> lock(FLock);
  if (FCancelled) return;
  // Memory only while nothing waits in the file, so the order holds.
  if (FSpillFolder.isEmpty() ||
      (FFileRead == FFileWrite && FMemoryInUse->load() + bytes <= FMemoryBudget)) {
    FMemory.emplace_back(data, data + bytes);
    FMemoryInUse->fetch_add(bytes);
  } else {
    SpillWrite(data, bytes);
  }
  FChanged.notify_all();
}

void TPcmQueue::SpillWrite(const uint8_t* data, int64_t bytes) {
  if (FSpillFd < 0) {
    QByteArray name = QFile::encodeName(QDir(FSpillFolder).filePath(".cadenzo-XXXXXX.pcm"));
    FSpillFd = ::mkostemps(name.data(), 4, O_CLOEXEC);
    if (FSpillFd < 0) {
      const QString reason = QString::fromLocal8Bit(std::strerror(errno));
      throw platform::EFileFailure<ELameError>(
          QString("Cannot create a temporary file in \"%1\": %2").arg(FSpillFolder, reason),
          FSpillFolder, reason);
    }
    ::unlink(name.constData());
    FSpillName = QFile::decodeName(name);
  }
  int64_t done = 0;
  while (done < bytes) {
    const ssize_t n = ::pwrite(FSpillFd, data + done, size_t(bytes - done), FFileWrite + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      throw platform::EFileFailure<ELameError>(
          "Write error", FSpillName, QString::fromLocal8Bit(std::strerror(n < 0 ? errno : ENOSPC)));
    done += n;
  }
  FFileWrite += bytes;
  FSpilled += bytes;
}

void TPcmQueue::Close() {
  std::lock_guard<std::mutex> lock(FLock);
  FClosed = true;
  FChanged.notify_all();
}

void TPcmQueue::Cancel() {
  std::lock_guard<std::mutex> lock(FLock);
  FCancelled = true;
  FChanged.notify_all();
}

int64_t TPcmQueue::Read(uint8_t* data, int64_t bytes) {
  std::unique_lock<std::mutex> lock(FLock);
  FChanged.wait(
      lock, [this] { return FCancelled || FClosed || !FMemory.empty() || FFileRead < FFileWrite; });
  if (FCancelled || bytes <= 0) return 0;
  if (!FMemory.empty()) {
    std::vector<uint8_t>& front = FMemory.front();
    const int64_t n = std::min<int64_t>(bytes, int64_t(front.size() - FMemoryOffset));
    std::memcpy(data, front.data() + FMemoryOffset, size_t(n));
    FMemoryOffset += size_t(n);
    FMemoryInUse->fetch_sub(n);
    if (FMemoryOffset == front.size()) {
      FMemory.pop_front();
      FMemoryOffset = 0;
    }
    return n;
  }
  if (FFileRead == FFileWrite) return 0;  // closed and drained
  // The writer only appends past FFileWrite, so the range can be read unlocked.
  const int64_t offset = FFileRead;
  const int64_t n = std::min(bytes, FFileWrite - FFileRead);
  lock.unlock();
  int64_t done = 0;
  while (done < n) {
    const ssize_t got = ::pread(FSpillFd, data + done, size_t(n - done), offset + done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) throw ELameError("Read Error");
    done += got;
  }
  lock.lock();
  FFileRead += n;
  // Drained: the file starts over, so it holds no more than the backlog.
  if (FFileRead == FFileWrite) FFileRead = FFileWrite = 0;
  return n;
}

int64_t TPcmQueue::SpilledBytes() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FSpilled;
}

// ---- TEncodePool

struct TEncodeContext::TTask {
  TEncodePool* Pool = nullptr;
  int Job = 0;
  TEncodeWork Work;
  std::atomic<bool> Running = false;
  std::atomic<int> Percent = 0;
  std::atomic<uint8_t> Stage = 0;
  int64_t Weight = 0;
};

bool TEncodeContext::Stopped() const { return FPool.Stopped(); }

// Progress is read by the owner's display timer: a call per change would
// flood the owner's event loop, and posted events starve its timers.
void TEncodeContext::SetProgress(int percent) { FTask.Percent.store(percent); }

void TEncodeContext::SetStage(uint8_t stage) {
  if (FTask.Stage.exchange(stage) != stage) FPool.Notify();
}

// ---- TEncodeWorkers

TEncodeWorkers::TEncodeWorkers(int threads) {
  const int count = TEncodePool::ThreadCount(threads);
  for (int i = 0; i < count; ++i) FThreads.emplace_back([this] { WorkerLoop(); });
}

TEncodeWorkers::~TEncodeWorkers() {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FShutdown = true;
  }
  FWork.notify_all();
  for (std::thread& thread : FThreads) thread.join();
}

int TEncodeWorkers::PeakRunning() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FPeak;
}

int TEncodeWorkers::Ran() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FRan;
}

void TEncodeWorkers::Queue(std::shared_ptr<TTask> task) {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FWaiting.push_back(std::move(task));
  }
  FWork.notify_one();
}

std::vector<std::shared_ptr<TEncodeWorkers::TTask>> TEncodeWorkers::TakeWaiting(
    const TEncodePool* pool) {
  std::vector<std::shared_ptr<TTask>> taken;
  std::lock_guard<std::mutex> lock(FLock);
  for (auto it = FWaiting.begin(); it != FWaiting.end();) {
    if ((*it)->Pool != pool) {
      ++it;
      continue;
    }
    taken.push_back(*it);
    it = FWaiting.erase(it);
  }
  return taken;
}

void TEncodeWorkers::WorkerLoop() {
  // Below the threads that read the drives, whose chunks of reading must
  // never wait long for a core; a nice value belongs to the thread on Linux.
  errno = 0;
  const int nice = getpriority(PRIO_PROCESS, 0);
  if (errno == 0) setpriority(PRIO_PROCESS, id_t(gettid()), std::min(19, nice + kWorkerNice));
  for (;;) {
    std::shared_ptr<TTask> task;
    {
      std::unique_lock<std::mutex> lock(FLock);
      FWork.wait(lock, [this] { return FShutdown || !FWaiting.empty(); });
      if (FWaiting.empty()) return;
      auto next = FWaiting.begin();
      for (auto it = next; it != FWaiting.end(); ++it)
        if ((*it)->Weight > (*next)->Weight) next = it;
      task = *next;
      FWaiting.erase(next);
      task->Running = true;
      FPeak = std::max(FPeak, ++FRunning);
    }
    // The task's pool waits for it before it goes: the pool is there until
    // Run has finished the task.
    task->Pool->Run(*task);
    std::lock_guard<std::mutex> lock(FLock);
    --FRunning;
    ++FRan;
  }
}

// ---- TEncodePool

TEncodePool::TEncodePool(int threads) : TEncodePool(std::make_shared<TEncodeWorkers>(threads)) {}

TEncodePool::TEncodePool(std::shared_ptr<TEncodeWorkers> workers)
    : FWorkers(std::move(workers)),
      FMemoryInUse(std::make_shared<std::atomic<int64_t>>(0)),
      FNotifier(new QObject) {}

TEncodePool::~TEncodePool() {
  Stop();
  std::unique_lock<std::mutex> lock(FLock);
  FTaskEnded.wait(lock, [this] { return FTasks.empty(); });
}

QString TEncodePool::SpillFolder(int64_t bytes) {
  for (const QString& folder : {platform::CacheFolder(), platform::TempFolder()}) {
    const QStorageInfo storage(folder);
    if (QFileInfo(folder).isWritable() && storage.isValid() && storage.bytesAvailable() > bytes)
      return folder;
  }
  return {};
}

int TEncodePool::ThreadCount(int setting) {
  return setting > 0 ? setting : std::max(1, QThread::idealThreadCount());
}

void TEncodePool::Add(int job, TEncodeWork work, int64_t weight) {
  auto task = std::make_shared<TTask>();
  task->Pool = this;
  task->Job = job;
  task->Work = std::move(work);
  task->Weight = weight;
  {
    std::lock_guard<std::mutex> lock(FLock);
    ++FAdded;
    FTasks.push_back(task);
    if (FStopped) {
      Finish(task, {job, true, false, {}, {}});
      return;
    }
    FWorkers->Queue(task);
  }
}

std::shared_ptr<TPcmQueue> TEncodePool::AddStream(int job, const TLameCoder& settings,
                                                  const QString& outputPath,
                                                  int64_t expectedBytes) {
  return AddStream(job, std::make_unique<TMp3Encoder>(settings), outputPath, expectedBytes);
}

std::shared_ptr<TPcmQueue> TEncodePool::AddStream(int job, std::unique_ptr<TEncoder> encoder,
                                                  const QString& outputPath,
                                                  int64_t expectedBytes) {
  auto output = std::make_shared<QFile>(outputPath);
  // Unbuffered, so that a full disk shows in the write of the block at hand.
  if (!output->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
    throw ELameError(
        QString("Cannot create file \"%1\": %2").arg(outputPath, output->errorString()));
  auto queue = std::make_shared<TPcmQueue>(SpillFolder(expectedBytes), FMemoryInUse, kMemoryBudget);
  std::shared_ptr<TEncoder> shared = std::move(encoder);
  {
    std::lock_guard<std::mutex> lock(FLock);
    FQueues.push_back(queue);
  }
  // Nobody will read it: the reader's writes end at once.
  if (FStopped) queue->Cancel();
  // The closing steps run also when the pool stops the queue: the file ends
  // whole with what it was given.
  Add(
      job,
      [queue, shared, output, expectedBytes](TEncodeContext& context) {
        RunEncoder(
            *shared, *output,
            [&queue](uint8_t* data, int64_t bytes) { return queue->Read(data, bytes); },
            expectedBytes, context);
      },
      expectedBytes);
  return queue;
}

void TEncodePool::Stop() {
  std::vector<std::shared_ptr<TPcmQueue>> queues;
  {
    std::lock_guard<std::mutex> lock(FLock);
    FStopped = true;
    for (const std::shared_ptr<TTask>& task : FWorkers->TakeWaiting(this))
      Finish(task, {task->Job, true, false, {}, {}});
    for (const std::weak_ptr<TPcmQueue>& weak : FQueues)
      if (auto queue = weak.lock()) queues.push_back(queue);
    FQueues.clear();
  }
  for (const auto& queue : queues) queue->Cancel();
}

std::vector<TEncodePool::TTaskState> TEncodePool::Unfinished() const {
  std::lock_guard<std::mutex> lock(FLock);
  std::vector<TTaskState> states;
  for (const auto& task : FTasks)
    states.push_back({task->Job, task->Running.load(), task->Stage.load(), task->Percent.load()});
  return states;
}

std::vector<TEncodePool::TResult> TEncodePool::TakeFinished() {
  std::lock_guard<std::mutex> lock(FLock);
  return std::exchange(FFinished, {});
}

bool TEncodePool::Idle() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FTasks.empty() && FFinished.empty();
}

int TEncodePool::Added() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FAdded;
}

void TEncodePool::Run(TTask& task) {
  Notify();
  TResult result{task.Job, false, false, {}, {}};
  try {
    TEncodeContext context(*this, task);
    task.Work(context);
  } catch (const std::exception& error) {
    result.Failed = true;
    result.Error = QString::fromUtf8(error.what());
    result.Failure = std::current_exception();
  } catch (...) {
    result.Failed = true;
    result.Failure = std::current_exception();
  }
  // The work's captures (files, queues) are released here, on the worker.
  task.Work = nullptr;
  result.Stopped = Stopped();
  std::lock_guard<std::mutex> lock(FLock);
  // Finish drops the pool's reference; the workers keep theirs until here.
  const auto it = std::find_if(FTasks.begin(), FTasks.end(), [&task](const auto& unfinished) {
    return unfinished.get() == &task;
  });
  if (it != FTasks.end()) Finish(std::shared_ptr<TTask>(*it), result);
}

// Requires: FLock held.
void TEncodePool::Finish(const std::shared_ptr<TTask>& task, TResult result) {
  FTasks.erase(std::remove(FTasks.begin(), FTasks.end(), task), FTasks.end());
  FFinished.push_back(std::move(result));
  Notify();
  FTaskEnded.notify_all();
}

void TEncodePool::Notify() {
  if (FNotifyPending.exchange(true)) return;
  QMetaObject::invokeMethod(
      FNotifier.get(),
      [this] {
        FNotifyPending = false;
        if (OnChanged) OnChanged();
      },
      Qt::QueuedConnection);
}
