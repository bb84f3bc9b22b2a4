#pragma once

// Event pumping for the waits of the single user-interface thread.

// Handles every event that is pending now (window events, timers, tray
// clicks, serial receive events, socket notifications) and returns.
void DoEvents();

// Blocks until the next event arrives or `ms` milliseconds pass, whichever
// is first, then handles what arrived. Nothing spins while it blocks.
void WaitForEvents(int ms);
