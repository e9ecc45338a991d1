// The encoder pool: PCM queues that keep their order whether the bytes wait
// in memory or in the temporary file, streams encoded on workers giving the
// bytes of an encoder on the calling thread, failures and stops that reach
// only what they should, and no temporary file left behind.
#include <QDir>
#include <QFile>
#include <QThread>
#include <algorithm>
#include <set>

#include "../libs/lame_enc/Mp3Check.h"
#include "common/TestUtil.h"
#include "encode/EncodePool.h"
#include "encode/LameCoder.h"

using testutil::ReadFile;
using testutil::TonePcm;

namespace {

QStringList Entries(const QString& folder) {
  return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

// The reference: the PCM encoded on this thread in whole blocks and a short
// rest, flushed and tagged, as the ripping component encodes on the fly.
QByteArray EncodeHere(const TLameCoder& settings, const QByteArray& pcm, const QString& path) {
  TLameCoder coder;
  coder.Assign(settings);
  EXPECT_EQ(coder.InitStream(), 0u);
  const int blockBytes = int(coder.SamplesPerChunk() * 2);
  std::vector<uint8_t> mp3(coder.Mp3BufferSize());
  std::vector<int16_t> block(coder.SamplesPerChunk());
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  for (int at = 0; at + blockBytes <= pcm.size(); at += blockBytes) {
    std::memcpy(block.data(), pcm.constData() + at, size_t(blockBytes));
    uint32_t bytes = 0;
    EXPECT_EQ(coder.EncodeChunk(block.data(), mp3.data(), &bytes), 0u);
    file.write(reinterpret_cast<const char*>(mp3.data()), bytes);
  }
  uint32_t bytes = 0;
  const int rest = pcm.size() % blockBytes;
  if (rest > 0) {
    std::memcpy(block.data(), pcm.constData() + pcm.size() - rest, size_t(rest));
    EXPECT_EQ(coder.EncodeSamples(block.data(), uint32_t(rest / 2), mp3.data(), &bytes), 0u);
    file.write(reinterpret_cast<const char*>(mp3.data()), bytes);
  }
  EXPECT_EQ(coder.DeinitStream(mp3.data(), &bytes), 0u);
  file.write(reinterpret_cast<const char*>(mp3.data()), bytes);
  file.close();
  EXPECT_EQ(coder.WriteInfoTag(path), 0u);
  coder.CloseStream();
  return ReadFile(path);
}

// Feeds the PCM in rip-sized chunks of 27 sectors.
void Feed(TPcmQueue& queue, const QByteArray& pcm) {
  constexpr int kChunk = 27 * 2352;
  for (int at = 0; at < pcm.size(); at += kChunk)
    queue.Write(reinterpret_cast<const uint8_t*>(pcm.constData()) + at,
                std::min<int64_t>(kChunk, pcm.size() - at));
  queue.Close();
}

// Runs the event loop until the pool has nothing left and returns its results by job.
std::map<int, TEncodePool::TResult> Drain(TEncodePool& pool) {
  std::map<int, TEncodePool::TResult> results;
  EXPECT_TRUE(testutil::WaitFor(
      [&] {
        for (const auto& result : pool.TakeFinished()) results[result.Job] = result;
        return pool.Idle();
      },
      60000));
  return results;
}

QByteArray Bytes(int count, int seed) {
  QByteArray bytes(count, '\0');
  for (int i = 0; i < count; ++i) bytes[i] = char((i * 7 + seed) & 0xff);
  return bytes;
}

}  // namespace

TEST(PcmQueue, KeepsTheOrderAcrossMemoryAndTheUnlinkedFile) {
  testutil::TTempFolder temp;
  auto inUse = std::make_shared<std::atomic<int64_t>>(0);
  TPcmQueue queue(temp.Path(), inUse, 1000);
  const QByteArray a = Bytes(600, 1), b = Bytes(700, 2), c = Bytes(300, 3), d = Bytes(200, 4);
  auto write = [&](const QByteArray& bytes) {
    queue.Write(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size());
  };
  QByteArray read;
  auto readUpTo = [&](int64_t count) {
    QByteArray part(int(count), '\0');
    const int64_t got = queue.Read(reinterpret_cast<uint8_t*>(part.data()), count);
    read += part.left(int(got));
    return got;
  };
  write(a);  // memory
  write(b);  // past the budget: the file
  EXPECT_EQ(queue.SpilledBytes(), 700);
  EXPECT_EQ(*inUse, 600);
  readUpTo(1000);  // the memory part comes first, whole
  write(c);        // the file still holds b: c must follow it there
  EXPECT_EQ(queue.SpilledBytes(), 1000);
  while (read.size() < 1600) ASSERT_GT(readUpTo(256), 0);
  write(d);  // drained: memory again
  EXPECT_EQ(queue.SpilledBytes(), 1000);
  queue.Close();
  while (readUpTo(512) > 0) {
  }
  EXPECT_TRUE(read == a + b + c + d);
  EXPECT_EQ(*inUse, 0);
  // The file never had a name a user could see or that could be left behind.
  EXPECT_TRUE(Entries(temp.Path()).isEmpty());
}

TEST(PcmQueue, CancelEndsTheReaderAndReturnsTheMemory) {
  testutil::TTempFolder temp;
  auto inUse = std::make_shared<std::atomic<int64_t>>(0);
  {
    TPcmQueue queue(temp.Path(), inUse, 1 << 20);
    const QByteArray bytes = Bytes(5000, 9);
    queue.Write(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size());
    uint8_t buffer[100];
    EXPECT_EQ(queue.Read(buffer, sizeof buffer), 100);
    queue.Cancel();
    EXPECT_EQ(queue.Read(buffer, sizeof buffer), 0);
  }
  EXPECT_EQ(*inUse, 0);
  // A reader waiting on an empty queue is released.
  TPcmQueue empty(temp.Path(), inUse, 1 << 20);
  std::thread reader([&] {
    uint8_t buffer[100];
    EXPECT_EQ(empty.Read(buffer, sizeof buffer), 0);
  });
  empty.Cancel();
  reader.join();
}

TEST(PcmQueue, AFolderWithoutRoomForTheFileFailsTheWriter) {
  auto inUse = std::make_shared<std::atomic<int64_t>>(0);
  TPcmQueue queue("/nonexistent/folder", inUse, 10);
  const QByteArray bytes = Bytes(100, 0);
  EXPECT_THROW(queue.Write(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size()),
               ELameError);
}

TEST(EncodePool, StreamsOnOneOrTwoWorkersGiveTheBytesOfTheCallingThread) {
  testutil::TTempFolder temp;
  TLameCoder settings;
  settings.SetBitrate(192);
  // Long enough that two of them do not fit the memory budget: the rest waits in files.
  const std::vector<QByteArray> tracks = {TonePcm(44100 * 60), TonePcm(44100 * 2 + 77),
                                          TonePcm(44100 * 5 + 1152)};
  std::vector<QByteArray> expected;
  for (size_t i = 0; i < tracks.size(); ++i)
    expected.push_back(EncodeHere(settings, tracks[i], temp.File(QString("ref%1.mp3").arg(i))));

  for (int threads : {1, 2}) {
    const QString folder = temp.File(QString("out%1").arg(threads));
    ASSERT_TRUE(QDir().mkpath(folder));
    TEncodePool pool(threads);
    EXPECT_EQ(pool.Threads(), threads);
    int64_t spilled = 0;
    for (size_t i = 0; i < tracks.size(); ++i) {
      const auto queue = pool.AddStream(int(i), settings, QString("%1/%2.mp3").arg(folder).arg(i),
                                        tracks[i].size());
      Feed(*queue, tracks[i]);
      spilled += queue->SpilledBytes();
    }
    const auto results = Drain(pool);
    ASSERT_EQ(results.size(), tracks.size());
    for (size_t i = 0; i < tracks.size(); ++i) {
      EXPECT_FALSE(results.at(int(i)).Failed) << results.at(int(i)).Error.toStdString();
      EXPECT_TRUE(ReadFile(QString("%1/%2.mp3").arg(folder).arg(i)) == expected[i])
          << threads << " threads, track " << i;
    }
    EXPECT_GT(spilled, 0) << "the test should exercise the temporary file";
    EXPECT_EQ(Entries(folder), (QStringList{"0.mp3", "1.mp3", "2.mp3"}));
  }
}

TEST(EncodePool, AFailingTaskFailsAloneAndProgressReachesTheCreatingThread) {
  TEncodePool pool(2);
  std::set<QThread*> changeThreads;
  pool.OnChanged = [&] { changeThreads.insert(QThread::currentThread()); };
  std::atomic<int> ran = 0;
  for (int job = 0; job < 5; ++job)
    pool.Add(job, [job, &ran](TEncodeContext& context) {
      context.SetStage(5);
      context.SetProgress(50);
      if (job == 2) throw ELameError("Write Error");
      ++ran;
      context.SetProgress(100);
    });
  const auto results = Drain(pool);
  ASSERT_EQ(results.size(), 5u);
  for (const auto& [job, result] : results) {
    EXPECT_EQ(result.Failed, job == 2) << job;
    EXPECT_FALSE(result.Stopped) << job;
  }
  EXPECT_EQ(results.at(2).Error, "Write Error");
  EXPECT_EQ(ran, 4);
  EXPECT_TRUE(testutil::WaitFor([&] { return !changeThreads.empty(); }));
  EXPECT_EQ(changeThreads, std::set<QThread*>{QThread::currentThread()});
}

TEST(EncodePool, StopEndsRunningStreamsAndDropsQueuedTasksLeavingNoTemporaryFile) {
  testutil::TTempFolder temp;
  TLameCoder settings;
  TEncodePool pool(1);
  const QByteArray pcm = TonePcm(44100 * 60);  // a minute: beyond the memory budget
  const auto first = pool.AddStream(0, settings, temp.File("0.mp3"), pcm.size());
  const auto second = pool.AddStream(1, settings, temp.File("1.mp3"), pcm.size());
  std::atomic<bool> thirdRan = false;
  pool.Add(2, [&](TEncodeContext&) { thirdRan = true; });
  // The first track is still being read when the stop comes; the others wait
  // for the one worker.
  first->Write(reinterpret_cast<const uint8_t*>(pcm.constData()), pcm.size() / 2);
  second->Write(reinterpret_cast<const uint8_t*>(pcm.constData()), pcm.size() / 2);
  EXPECT_GT(second->SpilledBytes(), 0);
  ASSERT_TRUE(testutil::WaitFor(
      [&] {
        const auto states = pool.Unfinished();
        return !states.empty() && states[0].Running && states[0].Percent > 0;
      },
      60000));
  pool.Stop();
  const auto results = Drain(pool);
  ASSERT_EQ(results.size(), 3u);
  for (const auto& [job, result] : results) {
    EXPECT_TRUE(result.Stopped) << job;
    EXPECT_FALSE(result.Failed) << job << result.Error.toStdString();
  }
  EXPECT_FALSE(thirdRan);
  // The stopped stream was flushed: a whole MP3 of no more than it was given.
  const auto probe = testutil::ProbeMp3(temp.File("0.mp3"));
  EXPECT_GT(probe.Duration, 0.0);
  EXPECT_LE(probe.Duration, 30.1);
  EXPECT_EQ(ReadFile(temp.File("1.mp3")).size(), 0);
  EXPECT_EQ(Entries(temp.Path()), (QStringList{"0.mp3", "1.mp3"}));
}

TEST(EncodePool, AnOutputThatCannotBeCreatedIsRefusedBeforeTheRead) {
  testutil::TTempFolder temp;
  TEncodePool pool(1);
  EXPECT_THROW(pool.AddStream(0, TLameCoder(), temp.File("missing/0.mp3"), 100), ELameError);
  EXPECT_TRUE(pool.Idle());
}

TEST(EncodePool, ZeroThreadsMeansOnePerCore) {
  EXPECT_EQ(TEncodePool::ThreadCount(0), std::max(1, QThread::idealThreadCount()));
  EXPECT_EQ(TEncodePool::ThreadCount(3), 3);
}

TEST(EncodePool, AFreeWorkerTakesTheLargestWaitingTaskFirst) {
  TEncodePool pool(1);
  std::atomic<bool> release = false;
  // Holds the one worker until every other task waits.
  pool.Add(0, [&](TEncodeContext&) {
    while (!release) std::this_thread::yield();
  });
  ASSERT_TRUE(testutil::WaitFor([&] { return pool.Unfinished().at(0).Running; }));
  for (const auto& [job, weight] : {std::pair{1, 10}, {2, 30}, {3, 20}, {4, 30}})
    pool.Add(
        job, [](TEncodeContext&) {}, weight);
  release = true;
  std::vector<int> order;
  ASSERT_TRUE(testutil::WaitFor([&] {
    for (const auto& result : pool.TakeFinished()) order.push_back(result.Job);
    return pool.Idle();
  }));
  EXPECT_EQ(order, (std::vector<int>{0, 2, 4, 3, 1}));
}
