#pragma once

// A search (CDfuDevice::FindDevice, IsAttached, FindDeviceNow) may have found
// a watcher attached just before CDfuDevice::WatchThrough(nullptr) detached
// it. This returns once every such search has ended, so that the watcher may
// go: a clock that outlives the engine can be in the middle of one.
void AwaitSearchesOfDetachedWatchers();
