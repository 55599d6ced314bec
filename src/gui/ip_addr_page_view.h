#pragma once

#include <QWidget>

class CIpAddrPage;

// The view of the "QOR IP Addr" tab.
class IpAddrPageView : public QWidget {
    Q_OBJECT
public:
    explicit IpAddrPageView(CIpAddrPage& page, QWidget* parent = nullptr);

private:
    CIpAddrPage& page_;
};
