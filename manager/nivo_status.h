#pragma once
// What the unit's other processes last reported: supply, battery, indications.
#include <map>
#include <string>

struct NIVO_Status {
    bool uSourceFail = false;
    bool lowBat = false;
    bool uUsbdOk = true;
    bool usbhPowerFail = false;
    double iUsbh = 0.0;
    double batLevel = 1.0;
    bool installMode = false;
    bool newDevice = false;
    bool rx = false;
    bool webSrvReq = false;
    std::map<std::string, int> serviceCount{{"WAVD", 0}, {"POWER", 0}, {"TALVAD", 0}};
    bool alarm = false;
    bool house = false;
    bool alert = false;
    bool mail = false;

    bool AnyService() const {
        for (const auto& entry : serviceCount) {
            if (entry.second > 0) return true;
        }
        return false;
    }
};
