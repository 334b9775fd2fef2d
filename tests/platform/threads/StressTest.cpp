#include "ThreadTestSupport.h"

#include "LMutexSemaphore.h"
#include "LSemaphore.h"

#include <map>
#include <random>
#include <set>
#include <vector>

namespace {

// Holds one count of a semaphore and gives it back when destroyed, also when
// the holding thread is deleted and its stack unwound.
struct SlotHolder {
    LSemaphore& slots;
    int& held;
    SlotHolder(LSemaphore& s, int& h) : slots(s), held(h) { ++held; }
    ~SlotHolder()
    {
        --held;
        slots.Signal();
    }
};

} // namespace

// Hundreds of threads yield, sleep, wait with and without time-outs, suspend
// themselves, take a mutex and are deleted at random. Nothing may be lost: every
// count comes back, every stack object is destroyed, no thread runs twice at once.
TEST_F(ThreadsTest, RandomYieldsSleepsWaitsAndDeletionsKeepEveryInvariant)
{
    constexpr int kThreads = 300;
    constexpr int kSlots = 7;
    std::mt19937 random(20261207);
    LSemaphore slots(kSlots);
    LEventSemaphore event;
    LMutexSemaphore mutex;
    int held = 0;
    int constructed = 0;
    int destroyed = 0;
    int running = 0;  // threads inside their body between switches: never above 1
    int mutexHolders = 0;
    int stepsDone = 0;
    bool violation = false;
    std::vector<ThreadID> ids;

    auto check = [&] {
        if (running != 0 || held > kSlots || mutexHolders > 1) {
            ADD_FAILURE() << "running " << running << " held " << held << " mutex holders " << mutexHolders;
            violation = true;
        }
        ++running;
    };
    auto leave = [&] { --running; };

    for (int t = 0; t < kThreads; ++t) {
        unsigned seed = random();
        LThread* thread = StartThread([&, seed] {
            std::mt19937 mine(seed);
            ++constructed;
            DestructionProbe probe(destroyed);
            check();
            for (int step = 0; step < 30; ++step) {
                int op = mine() % 8;
                leave();
                switch (op) {
                case 0:
                case 1:
                    LThread::Yield();
                    break;
                case 2:
                    LThread::Sleep(mine() % 3);
                    break;
                case 3: {
                    OSStatus result = slots.Wait(mine() % 2 ? semaphore_WaitForever : SInt32(mine() % 5));
                    check();
                    if (result == noErr) {
                        SlotHolder holder(slots, held);
                        leave();
                        LThread::Yield();
                        check();
                    }
                    leave();
                    break;
                }
                case 4:
                    event.Wait(SInt32(mine() % 4));
                    break;
                case 5: {
                    if (mutex.Wait() != noErr)  // woken: not the owner
                        break;
                    check();
                    {
                        // Counted on the stack: a deleted holder's unwinding uncounts it.
                        struct Counted {
                            int& n;
                            ~Counted() { --n; }
                        } counted{++mutexHolders};
                        leave();
                        LThread::Yield();
                        check();
                    }
                    leave();
                    mutex.Signal();
                    break;
                }
                case 6:
                    LThread::GetCurrentThread()->Suspend();
                    break;
                default:
                    break;
                }
                check();
                ++stepsDone;
            }
            leave();
        });
        ids.push_back(thread->GetID());
    }

    int deleted = 0;
    for (int round = 0; LThread::CountThreads() > 0 && round < 20000; ++round) {
        LThread::RunRound();
        if (round % 3 == 0)
            event.Signal();
        else
            event.Reset();
        for (ThreadID id : ids) {
            LThread* thread = LThread::FromID(id);
            if (!thread)
                continue;
            unsigned roll = random() % 1000;
            if (thread->IsSuspended() && roll < 500)
                thread->Resume();
            else if (roll < 3) {
                thread->DeleteThread();
                ++deleted;
            } else if (roll < 6)
                thread->Wake();
        }
    }

    EXPECT_EQ(LThread::CountThreads(), 0u);
    EXPECT_FALSE(violation);
    EXPECT_GT(deleted, 0);
    EXPECT_GT(stepsDone, kThreads * 10);
    EXPECT_EQ(held, 0);
    EXPECT_EQ(slots.GetCount(), kSlots) << "a slot was lost";
    EXPECT_EQ(slots.CountWaiting(), 0u);
    EXPECT_FALSE(mutex.IsLocked());
    EXPECT_EQ(destroyed, constructed);
}
