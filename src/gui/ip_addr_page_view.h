#pragma once

#include <QWidget>

class CIpAddrPage;

// The view of the "QOR IP Addr" tab: the serial and series lists on the left, the IP
// configuration options in the middle, the five address entries on the right.
class IpAddrPageView : public QWidget {
    Q_OBJECT
public:
    explicit IpAddrPageView(CIpAddrPage& page, QWidget* parent = nullptr);

private:
    CIpAddrPage& page_;
};
