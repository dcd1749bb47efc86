#include "capture/HoxCaptureService.h"

#include "capture/HoxPaCaptureService.h"

#include <map>
#include <mutex>
#include <utility>

namespace {

/// Guards the installed service.
std::mutex& ServiceMutex() {
    static std::mutex s_mutex;
    return s_mutex;
}

/// The installed service; null until first use or after a reset.
std::shared_ptr<IHoxCaptureService>& InstalledService() {
    static std::shared_ptr<IHoxCaptureService> s_service;
    return s_service;
}

} // namespace

std::shared_ptr<IHoxCaptureService> HoxGetCaptureService() {
    std::lock_guard<std::mutex> guard(ServiceMutex());
    std::shared_ptr<IHoxCaptureService>& service = InstalledService();
    if (service == nullptr) {
        service = HoxCreatePaCaptureService();
    }
    return service;
}

std::shared_ptr<IHoxCaptureService>
HoxSetCaptureService(std::shared_ptr<IHoxCaptureService> service) {
    std::lock_guard<std::mutex> guard(ServiceMutex());
    return std::exchange(InstalledService(), std::move(service));
}

std::vector<std::string> HoxMakeMonikerNames(const std::vector<std::string>& hostApis,
                                             const std::vector<std::string>& deviceNames) {
    std::vector<std::string> names;
    names.reserve(deviceNames.size());
    std::map<std::string, int> seen;
    for (size_t index = 0; index < deviceNames.size(); ++index) {
        const std::string& hostApi = index < hostApis.size() ? hostApis[index] : std::string();
        std::string key = hostApi + ":" + deviceNames[index];
        const int count = ++seen[key];
        if (count >= 2) {
            key += "#" + std::to_string(count);
        }
        names.push_back(std::move(key));
    }
    return names;
}
