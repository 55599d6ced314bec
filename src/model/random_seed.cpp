#include "model/random_seed.h"

#include <chrono>
#include <cstdlib>

void SeedRandomFromTicks() {
    auto ticks = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    std::srand(static_cast<unsigned>(ticks.count()));
}
