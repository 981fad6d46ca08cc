#pragma once

#include <functional>
#include <string>

// The gradient-descent loop of an HSNE level and of the focus-and-context
// map, with its console lines and progress bar. Steps run while `running` is
// set and fewer than `iterations` are done; both are read before every step,
// since a step's report pumps events that may change them. `write` puts the
// positions into the data before the first step, after every `writeEvery`
// steps and after the last; `finish` runs after that, before the timing lines.
void runHsneEmbedLoop(const std::string& name, const int& iterations, int writeEvery, const bool& running,
                      const std::function<void()>& iterate, const std::function<void()>& write,
                      const std::function<void()>& finish);
