#include "player/aimpreport.h"

ReportEnd sendAimpNowPlaying(std::int32_t) {
  return ReportEnd::done;
}
