#pragma once

namespace nuv {

class Tool;

// "Read": the module's reset counters as a report in the log.
void Button7Click(Tool& tool);
// "Clear": the module's reset counters to zero.
void Button14Click(Tool& tool);

}  // namespace nuv
