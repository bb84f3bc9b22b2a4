#pragma once

// The headless fallback: with no display (neither DISPLAY nor
// WAYLAND_DISPLAY set) and no platform chosen through QT_QPA_PLATFORM, the
// monitor runs on Qt's offscreen platform. Also chooses Qt's own event
// dispatcher. Must be called before the application object is made.
void SelectPlatformForDisplay();

// True when the application runs on the offscreen platform: headless, or
// under test. Needs the application object.
bool IsOffscreenPlatform();
