#include "encode/EncodePool.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "encode/LameCoder.h"

namespace {

// PCM held in memory by all queues of a pool together; the rest waits in
// temporary files. About 12 s of CD audio.
constexpr int64_t kMemoryBudget = 2 << 20;
constexpr int kWorkerNice = 5;  // added to the process's nice value

void WriteAll(QFile& file, const uint8_t* data, int64_t bytes, const char* message) {
  if (bytes > 0 && file.write(reinterpret_cast<const char*>(data), bytes) != bytes)
    throw ELameError(message);
}

void CheckEncoder(uint32_t result) {
  if (result != 0) throw ELameError(QString("MP3 encoder error %1").arg(result));
}

// Encodes the queue's PCM into the file as the ripping component encodes on
// the fly: whole blocks of SamplesPerChunk values, the short rest, the flush,
// the info tag. The closing steps run also when the pool stops the queue.
void EncodeQueue(TLameCoder& coder, TPcmQueue& queue, QFile& output, int64_t expectedBytes,
                 TEncodeContext& context) {
  struct TStreamCloser {
    TLameCoder& Coder;
    ~TStreamCloser() { Coder.CloseStream(); }
  } closer{coder};
  if (const uint32_t result = coder.InitStream(); result != 0)
    throw ELameError(coder.InitFailureReason(result));
  const int64_t blockBytes = int64_t(coder.SamplesPerChunk()) * int64_t(sizeof(int16_t));
  std::vector<int16_t> block(coder.SamplesPerChunk());
  auto* blockData = reinterpret_cast<uint8_t*>(block.data());
  std::vector<uint8_t> mp3(coder.Mp3BufferSize());
  int64_t filled = 0, total = 0;
  for (;;) {
    const int64_t got = queue.Read(blockData + filled, blockBytes - filled);
    if (got == 0) break;
    filled += got;
    total += got;
    if (filled < blockBytes) continue;
    uint32_t bytes = 0;
    CheckEncoder(coder.EncodeChunk(block.data(), mp3.data(), &bytes));
    WriteAll(output, mp3.data(), bytes, "Write error");
    filled = 0;
    if (expectedBytes > 0)
      context.SetProgress(int(std::min<int64_t>(100, total * 100 / expectedBytes)));
  }
  uint32_t bytes = 0;
  // The track's last samples (less than one block) go in as a short final
  // call; dropping them would cut the end of every track.
  if (filled > 0) {
    CheckEncoder(coder.EncodeSamples(block.data(), uint32_t(filled / 2), mp3.data(), &bytes));
    WriteAll(output, mp3.data(), bytes, "Write error");
  }
  CheckEncoder(coder.DeinitStream(mp3.data(), &bytes));
  WriteAll(output, mp3.data(), bytes, "Write error");
  const QString fileName = output.fileName();
  output.close();
  if (output.error() != QFileDevice::NoError || coder.WriteInfoTag(fileName) != 0)
    throw ELameError("Write error");
  context.SetProgress(100);
}

}  // namespace

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
  if (FFileRead == FFileWrite && FMemoryInUse->load() + bytes <= FMemoryBudget) {
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
    if (FSpillFd < 0)
      throw ELameError(QString("Cannot create a temporary file in \"%1\": %2")
                           .arg(FSpillFolder, QString::fromLocal8Bit(std::strerror(errno))));
    ::unlink(name.constData());
  }
  int64_t done = 0;
  while (done < bytes) {
    const ssize_t n = ::pwrite(FSpillFd, data + done, size_t(bytes - done), FFileWrite + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw ELameError("Write error");
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

TEncodePool::TEncodePool(int threads)
    : FMemoryInUse(std::make_shared<std::atomic<int64_t>>(0)), FNotifier(new QObject) {
  const int count = ThreadCount(threads);
  for (int i = 0; i < count; ++i) FWorkers.emplace_back([this] { WorkerLoop(); });
}

TEncodePool::~TEncodePool() {
  Stop();
  {
    std::lock_guard<std::mutex> lock(FLock);
    FShutdown = true;
  }
  FWork.notify_all();
  for (std::thread& worker : FWorkers) worker.join();
}

int TEncodePool::ThreadCount(int setting) {
  return setting > 0 ? setting : std::max(1, QThread::idealThreadCount());
}

void TEncodePool::Add(int job, TEncodeWork work, int64_t weight) {
  auto task = std::make_shared<TTask>();
  task->Job = job;
  task->Work = std::move(work);
  task->Weight = weight;
  {
    std::lock_guard<std::mutex> lock(FLock);
    ++FAdded;
    FTasks.push_back(task);
    if (FStopped) {
      Finish(task, {job, true, false, {}});
      return;
    }
    FPending.push_back(task);
  }
  FWork.notify_one();
}

std::shared_ptr<TPcmQueue> TEncodePool::AddStream(int job, const TLameCoder& settings,
                                                  const QString& outputPath,
                                                  int64_t expectedBytes) {
  auto output = std::make_shared<QFile>(outputPath);
  // Unbuffered, so that a full disk shows in the write of the block at hand.
  if (!output->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
    throw ELameError(
        QString("Cannot create file \"%1\": %2").arg(outputPath, output->errorString()));
  auto queue = std::make_shared<TPcmQueue>(QFileInfo(outputPath).absolutePath(), FMemoryInUse,
                                           kMemoryBudget);
  auto coder = std::make_shared<TLameCoder>();
  coder->Assign(settings);
  {
    std::lock_guard<std::mutex> lock(FLock);
    FQueues.push_back(queue);
  }
  // Nobody will read it: the reader's writes end at once.
  if (FStopped) queue->Cancel();
  Add(
      job,
      [queue, coder, output, expectedBytes](TEncodeContext& context) {
        EncodeQueue(*coder, *queue, *output, expectedBytes, context);
      },
      expectedBytes);
  return queue;
}

void TEncodePool::Stop() {
  std::vector<std::shared_ptr<TPcmQueue>> queues;
  {
    std::lock_guard<std::mutex> lock(FLock);
    FStopped = true;
    while (!FPending.empty()) {
      const std::shared_ptr<TTask> task = FPending.front();
      FPending.pop_front();
      Finish(task, {task->Job, true, false, {}});
    }
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

void TEncodePool::WorkerLoop() {
  // Below the user-interface thread, whose chunks of reading must never wait
  // long for a core; a nice value belongs to the thread on Linux.
  errno = 0;
  const int nice = getpriority(PRIO_PROCESS, 0);
  if (errno == 0) setpriority(PRIO_PROCESS, id_t(gettid()), std::min(19, nice + kWorkerNice));
  for (;;) {
    std::shared_ptr<TTask> task;
    {
      std::unique_lock<std::mutex> lock(FLock);
      FWork.wait(lock, [this] { return FShutdown || !FPending.empty(); });
      if (FPending.empty()) return;
      auto next = FPending.begin();
      for (auto it = next; it != FPending.end(); ++it)
        if ((*it)->Weight > (*next)->Weight) next = it;
      task = *next;
      FPending.erase(next);
      task->Running = true;
    }
    Notify();
    TResult result{task->Job, false, false, {}};
    try {
      TEncodeContext context(*this, *task);
      task->Work(context);
    } catch (const std::exception& error) {
      result.Failed = true;
      result.Error = QString::fromUtf8(error.what());
    } catch (...) {
      result.Failed = true;
    }
    // The work's captures (files, queues) are released here, on the worker.
    task->Work = nullptr;
    result.Stopped = Stopped();
    std::lock_guard<std::mutex> lock(FLock);
    Finish(task, result);
  }
}

// Requires: FLock held.
void TEncodePool::Finish(const std::shared_ptr<TTask>& task, TResult result) {
  FTasks.erase(std::remove(FTasks.begin(), FTasks.end(), task), FTasks.end());
  FFinished.push_back(std::move(result));
  Notify();
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
