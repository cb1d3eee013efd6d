#pragma once

// Makes the compiled-in pictures (":/pixlane/icons/...") available; safe to call twice.
void InitPixlaneResources();
