// The screen's power over DDC/CI (libddcutil): the monitor's power mode, VCP
// feature 0xD6. Nothing of libddcutil leaves this file.
#include <ddcutil_c_api.h>

#include "platform/screen_power.h"

namespace platform {

namespace {

constexpr DDCA_Vcp_Feature_Code kPowerMode = 0xD6;
constexpr std::uint8_t kPowerOn = 0x01;
// "Off (DPM)": the monitor sleeps and still answers DDC/CI, so it can be woken.
constexpr std::uint8_t kPowerStandby = 0x04;

class DdcScreenPower final : public ScreenPower {
 public:
  ~DdcScreenPower() override {
    if (display_) ddca_close_display(display_);
    if (list_) ddca_free_display_info_list(list_);
  }

  bool Open(std::string& problem) override {
    ddca_get_display_info_list2(false, &list_);
    if (!list_ || list_->ct == 0) {
      problem = "DDC/CI: no monitor with DDC/CI found (is i2c-dev loaded, and /dev/i2c-* open to the kiosk?)";
      return false;
    }
    const DDCA_Status status = ddca_open_display2(list_->info[0].dref, false, &display_);
    if (status != 0) {
      problem = std::string("DDC/CI: the monitor cannot be opened: ") + ddca_rc_desc(status);
      display_ = nullptr;
      return false;
    }
    return true;
  }

  bool On() override { return ddca_set_non_table_vcp_value(display_, kPowerMode, 0, kPowerOn) == 0; }

  bool Standby() override { return ddca_set_non_table_vcp_value(display_, kPowerMode, 0, kPowerStandby) == 0; }

  ScreenState State() override {
    DDCA_Non_Table_Vcp_Value value{};
    if (ddca_get_non_table_vcp_value(display_, kPowerMode, &value) != 0) return ScreenState::Unknown;
    if (value.sl == kPowerOn) return ScreenState::On;
    if (value.sl >= 0x02 && value.sl <= 0x05) return ScreenState::Standby;  // standby, suspend, off
    return ScreenState::Unknown;
  }

  std::string Way() const override { return "DDC/CI"; }

 private:
  DDCA_Display_Info_List* list_ = nullptr;
  DDCA_Display_Handle display_ = nullptr;
};

}  // namespace

std::unique_ptr<ScreenPower> MakeDdcScreenPower() { return std::make_unique<DdcScreenPower>(); }

}  // namespace platform
