#pragma once

#include "SimDevice.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

// The state shared by the hidapi side and the control side of the simulated devices.
struct SimRegistry
{
    std::mutex mutex;
    std::condition_variable replyQueued; // wakes readers: a reply queued, a device gone
    std::map<int, std::unique_ptr<SimDevice>> devices; // by id, which is also attach order
    int nextId = 1;
    bool reversed = false;
    bool fullSpeed = false;
    int failWriteIn = 0; // writes until the scripted failure, 0 for none
    int failWriteCount = 0; // consecutive writes that fail from there
    int writeAttempts = 0;
    int initCount = 0;

    static SimRegistry &instance();
    SimDevice *find(int id);
};
