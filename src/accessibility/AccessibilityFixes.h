#pragma once

// Makes every accessible Qt Quick item a QuickItemAccessible. Call once, before the first window is
// loaded: the fix answers before Qt Quick's own factory only when installed after it, so this
// makes Qt Quick install its own first.
void installAccessibilityFixes();
