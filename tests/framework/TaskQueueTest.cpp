#include "framework/Messages.h"
#include "framework/TaskQueue.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

TEST(TaskQueue, WakesOnceUntilDrainedAndRunsInOrder)
{
    TTaskQueue q;
    std::vector<int> seen;
    EXPECT_TRUE(q.Push([&] { seen.push_back(1); }));
    EXPECT_FALSE(q.Push([&] { seen.push_back(2); }));
    EXPECT_EQ(q.RunAll(), 2u);
    EXPECT_EQ(seen, (std::vector<int>{1, 2}));
    EXPECT_TRUE(q.Push([&] { seen.push_back(3); }));
}

TEST(TaskQueue, LatestReplacesAPendingTaskWithTheSameKey)
{
    TTaskQueue q;
    std::vector<int> seen;
    q.PushLatest(7, [&] { seen.push_back(1); });
    q.Push([&] { seen.push_back(2); });
    q.PushLatest(7, [&] { seen.push_back(3); });
    q.PushLatest(8, [&] { seen.push_back(4); });
    q.RunAll();
    EXPECT_EQ(seen, (std::vector<int>{3, 2, 4}));
}

TEST(TaskQueue, AFailingTaskIsReportedAndTheRestStillRun)
{
    TMessageRecorder recorder;
    TTaskQueue q;
    int ran = 0;
    q.Push([] { throw std::runtime_error("ASIO Driver Failed!"); });
    q.Push([&] { ++ran; });
    q.RunAll();
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(recorder.Messages(), (std::vector<std::wstring>{L"ASIO Driver Failed!"}));
}

TEST(TaskQueue, ClosedQueueDropsTasks)
{
    TTaskQueue q;
    int ran = 0;
    q.Push([&] { ++ran; });
    q.Close();
    EXPECT_FALSE(q.Push([&] { ++ran; }));
    EXPECT_EQ(q.RunAll(), 0u);
    EXPECT_EQ(ran, 0);
}

TEST(TaskQueue, ManyProducersLoseNothing)
{
    TTaskQueue q;
    int total = 0;
    std::vector<std::thread> producers;
    for (int t = 0; t < 4; ++t)
        producers.emplace_back([&] {
            for (int i = 0; i < 1000; ++i) q.Push([&] { ++total; });
        });
    for (auto& p : producers) p.join();
    q.RunAll();
    EXPECT_EQ(total, 4000);
}

TEST(MessageSink, RecorderReplacesAndRestoresTheSink)
{
    std::vector<std::wstring> outer;
    TMessageSink previous = SetMessageSink([&](const std::wstring& t) { outer.push_back(t); });
    {
        TMessageRecorder recorder;
        unsigned before = ModalSerial();
        ShowMessage(L"Error - Illegal Setting File.");
        EXPECT_EQ(recorder.Messages(), (std::vector<std::wstring>{L"Error - Illegal Setting File."}));
        EXPECT_NE(ModalSerial(), before);
    }
    ShowMessage(L"after");
    EXPECT_EQ(outer, (std::vector<std::wstring>{L"after"}));
    SetMessageSink(std::move(previous));
}

TEST(MessageSink, InsideMessageHoldsOnlyOnTheShowingThreadWhileItShows)
{
    TMessageRecorder recorder;
    std::vector<bool> inside;
    std::vector<bool> elsewhere;
    recorder.OnMessage = [&](const std::wstring&) {
        inside.push_back(InsideMessage());
        std::thread([&] { elsewhere.push_back(InsideMessage()); }).join();
        if (inside.size() == 1) ShowMessage(L"nested");  // a message shown from inside one
        inside.push_back(InsideMessage());
    };
    EXPECT_FALSE(InsideMessage());
    ShowMessage(L"Error - Output Device Stopped.");
    EXPECT_FALSE(InsideMessage());
    EXPECT_EQ(inside, (std::vector<bool>{true, true, true, true}));
    EXPECT_EQ(elsewhere, (std::vector<bool>{false, false}));
}
