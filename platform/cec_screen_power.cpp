// The screen's power over HDMI-CEC (libcec): power the TV on and make this PC
// its active source, or put it to standby. Nothing of libcec leaves this file.
#include <libcec/cec.h>

#include <cstdio>

#include "platform/screen_power.h"

namespace platform {

namespace {

// How long libcec may take to open the adapter.
constexpr std::uint32_t kOpenTimeoutMs = 5000;

class CecScreenPower final : public ScreenPower {
 public:
  ~CecScreenPower() override {
    if (!cec_) return;
    if (open_) cec_->Close();
    CECDestroy(cec_);
  }

  bool Open(std::string& problem) override {
    CEC::libcec_configuration config;
    config.Clear();
    config.clientVersion = CEC::LIBCEC_VERSION_CURRENT;
    std::snprintf(config.strDeviceName, sizeof config.strDeviceName, "%s", "RVU kiosk");
    config.deviceTypes.Add(CEC::CEC_DEVICE_TYPE_RECORDING_DEVICE);
    config.bActivateSource = 0;  // only when told to switch on
    cec_ = static_cast<CEC::ICECAdapter*>(CECInitialise(&config));
    if (!cec_) {
      problem = "HDMI-CEC: libcec could not start";
      return false;
    }
    CEC::cec_adapter_descriptor adapters[4];
    const int found = cec_->DetectAdapters(adapters, 4, nullptr, true);
    if (found <= 0) {
      problem = "HDMI-CEC: no CEC adapter found";
      return false;
    }
    if (!cec_->Open(adapters[0].strComName, kOpenTimeoutMs)) {
      problem = std::string("HDMI-CEC: the adapter ") + adapters[0].strComName + " cannot be opened";
      return false;
    }
    open_ = true;
    return true;
  }

  bool On() override {
    const bool on = cec_->PowerOnDevices(CEC::CECDEVICE_TV);
    const bool source = cec_->SetActiveSource(CEC::CEC_DEVICE_TYPE_RESERVED);
    return on && source;
  }

  bool Standby() override { return cec_->StandbyDevices(CEC::CECDEVICE_TV); }

  ScreenState State() override {
    switch (cec_->GetDevicePowerStatus(CEC::CECDEVICE_TV)) {
      case CEC::CEC_POWER_STATUS_ON:
        return ScreenState::On;
      case CEC::CEC_POWER_STATUS_STANDBY:
        return ScreenState::Standby;
      default:  // in transition, or no answer
        return ScreenState::Unknown;
    }
  }

  std::string Way() const override { return "HDMI-CEC"; }

 private:
  CEC::ICECAdapter* cec_ = nullptr;
  bool open_ = false;
};

}  // namespace

std::unique_ptr<ScreenPower> MakeCecScreenPower() { return std::make_unique<CecScreenPower>(); }

}  // namespace platform
