#pragma once

// Seeds the runtime's pseudo-random generator from the millisecond tick count; the document
// takes its first transaction number from it. Called once at program start.
void SeedRandomFromTicks();
