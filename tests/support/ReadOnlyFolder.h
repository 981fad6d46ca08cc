// Makes a folder read-only (mode 0555) for as long as the object lives, so
// that nothing can be created, renamed or removed in it. Tests may run as
// root, whom folder permissions do not stop: the calling thread then gives up
// CAP_DAC_OVERRIDE from its effective capabilities meanwhile (it stays
// permitted and is taken back at the end). Writers run on the calling thread.
#pragma once

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string>

class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const std::string& folder) : m_folder(folder) {
        struct stat st {};
        m_ok = ::stat(folder.c_str(), &st) == 0 && ::chmod(folder.c_str(), 0555) == 0;
        m_mode = st.st_mode & 07777;
        if (!m_ok || ::geteuid() != 0) return;
        m_ok = ::syscall(SYS_capget, &m_header, m_saved) == 0;
        __user_cap_data_struct lowered[2] = {m_saved[0], m_saved[1]};
        lowered[CAP_TO_INDEX(CAP_DAC_OVERRIDE)].effective &= ~CAP_TO_MASK(CAP_DAC_OVERRIDE);
        m_lowered = m_ok && ::syscall(SYS_capset, &m_header, lowered) == 0;
        m_ok = m_lowered;
    }
    ~ReadOnlyFolder() {
        if (m_lowered) ::syscall(SYS_capset, &m_header, m_saved);
        ::chmod(m_folder.c_str(), m_mode);
    }
    bool ok() const { return m_ok; }

    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

private:
    std::string m_folder;
    mode_t m_mode = 0755;
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_lowered = false;
    bool m_ok = false;
};
