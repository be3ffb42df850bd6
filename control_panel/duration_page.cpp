#include "control_panel/duration_page.h"

#include <cstdint>

#include "control_panel/page_fields.h"

namespace tamrix {
namespace {

struct Split {
  std::string days, hours, minutes;
};

// Seconds below a minute are dropped.
Split SplitSeconds(int seconds) {
  return {std::to_string(seconds / 86400), std::to_string(seconds % 86400 / 3600),
          std::to_string(seconds % 3600 / 60)};
}

// 0 when the three fields are in range and give at least a minute, else the refusal.
int CheckPeriod(const std::string& days, const std::string& hours, const std::string& minutes,
                int invalid, int tooShort) {
  const std::int64_t d = FieldNumber(days), h = FieldNumber(hours), m = FieldNumber(minutes);
  // Days beyond what a signed 32-bit count of seconds holds would wrap into a negative time.
  if (d > 24854 || h > 23 || m > 59) return invalid;
  if (((d * 24 + h) * 60 + m) * 60 < 60) return tooShort;
  return 0;
}

int Seconds(const std::string& days, const std::string& hours, const std::string& minutes) {
  const std::int64_t total =
      FieldNumber(days) * 86400 + FieldNumber(hours) * 3600 + FieldNumber(minutes) * 60;
  return total > INT32_MAX ? INT32_MAX : static_cast<int>(total);
}

}  // namespace

DurationPage DurationPage::Build(const PanelSettings& s) {
  DurationPage page;
  page.limited = s.LeaseTime != -1;
  page.extend = s.ExtendTime != 0;
  if (page.limited) {
    const Split lease = SplitSeconds(s.LeaseTime);
    page.leaseDays = lease.days;
    page.leaseHours = lease.hours;
    page.leaseMinutes = lease.minutes;
  }
  if (page.extend) {
    const Split grace = SplitSeconds(s.ExtendTime);
    page.extendDays = grace.days;
    page.extendHours = grace.hours;
    page.extendMinutes = grace.minutes;
  }
  return page;
}

bool DurationPage::ChooseUnlimited() {
  const bool changed = limited;
  limited = false;
  extend = false;
  return changed;
}

bool DurationPage::ChooseLimited() {
  const bool changed = !limited;
  limited = true;
  return changed;
}

bool DurationPage::SetExtend(bool on) {
  extend = on;
  return true;
}

PageCheck DurationPage::Validate() const {
  if (!limited) return PageCheck::Pass();
  if (const int m = CheckPeriod(leaseDays, leaseHours, leaseMinutes, MSG_LEASE_INVALID,
                                MSG_LEASE_TOO_SHORT)) {
    return PageCheck::Refuse(m);
  }
  if (extend) {
    if (const int m = CheckPeriod(extendDays, extendHours, extendMinutes, MSG_EXTEND_INVALID,
                                  MSG_EXTEND_TOO_SHORT)) {
      return PageCheck::Refuse(m);
    }
  }
  return PageCheck::Pass();
}

void DurationPage::Apply(PanelSettings& settings, PrivateProfile& profile) {
  if (limited) {
    settings.LeaseTime = Seconds(leaseDays, leaseHours, leaseMinutes);
  } else {
    settings.LeaseTime = -1;
    extend = false;
  }
  settings.ExtendTime = extend ? Seconds(extendDays, extendHours, extendMinutes) : 0;
  StorePanelSettings(profile, settings, GROUP_DURATION);
}

}  // namespace tamrix
