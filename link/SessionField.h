#pragma once
// A public field of the session that tells its owner when its value changes. It reads and
// assigns like the plain value it holds, so procedures keep writing `SessionState = 5`.
namespace vorn {

template <typename T, typename Owner>
class CSessionField {
public:
    explicit CSessionField(Owner* owner, T value = T{}) : m_owner(owner), m_value(value) {}
    CSessionField(const CSessionField&) = default;  // a copy is a snapshot of the value

    CSessionField& operator=(T value) {
        if (value != m_value) {
            m_value = value;
            m_owner->NotifySessionChanged();
        }
        return *this;
    }
    CSessionField& operator=(const CSessionField& other) { return *this = other.m_value; }
    operator T() const { return m_value; }

private:
    Owner* m_owner;
    T m_value;
};

}  // namespace vorn
