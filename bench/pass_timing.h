// Timing the frame's passes with GL timer queries, shared by the benchmarks.
#pragma once

#include <GL/glew.h>

// Draws each of the `count` passes whose `runs` entry is set, each inside a
// GL_TIME_ELAPSED query of its own (`queries` holds `count` names), then waits
// for the results and adds each pass's milliseconds to `ms`. All queries are
// read after all passes, so no pass waits on the one before it to finish.
inline void drawTimedPasses(int count, void (*const passes[])(), const bool runs[], const GLuint queries[],
                            double ms[]) {
    for (int p = 0; p < count; ++p) {
        if (!runs[p]) continue;
        glBeginQuery(GL_TIME_ELAPSED, queries[p]);
        passes[p]();
        glEndQuery(GL_TIME_ELAPSED);
    }
    for (int p = 0; p < count; ++p) {
        if (!runs[p]) continue;
        GLuint64 ns = 0;
        glGetQueryObjectui64v(queries[p], GL_QUERY_RESULT, &ns);
        ms[p] += static_cast<double>(ns) / 1e6;
    }
}
