#pragma once
// The serial-port control: a thin adapter over QSerialPort with the
// behaviour the link expects of it (port number, settings string, open flag,
// input length and mode, count of waiting bytes, input as text or bytes).
#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>

class QSerialPort;

class CommPort : public QObject {
    Q_OBJECT
public:
    enum InputModes : int16_t { comInputModeText = 0, comInputModeBinary = 1 };

    explicit CommPort(QObject* parent = nullptr);
    ~CommPort() override;

    int16_t CommPortNumber() const { return port_; }
    void SetCommPort(int16_t n) { port_ = n; }
    QString Settings() const { return settings_; }
    void SetSettings(const QString& s) { settings_ = s; }
    int16_t Handshaking() const { return handshaking_; }
    void SetHandshaking(int16_t h) { handshaking_ = h; }

    bool PortOpen() const;
    // Opens or closes the port. Opening raises LinkError when the settings are
    // not understood or the device cannot be opened (port 0 included).
    void SetPortOpen(bool open);

    int16_t InputLen() const { return inputLen_; }
    void SetInputLen(int16_t n) { inputLen_ = n; }
    int16_t InputMode() const { return inputMode_; }
    void SetInputMode(int16_t m) { inputMode_ = m; }

    // Number of bytes waiting in the input. Raises LinkError when the device
    // reported an error (for instance it was unplugged).
    int InBufferCount();
    // True when the port is closed or its device reported an error (for
    // instance it was unplugged).
    bool DeviceFailed() const;
    // Takes input: InputLen bytes (0 = everything waiting). In text mode the
    // bytes become characters one to one (Latin-1).
    QString InputText();
    QByteArray InputBytes();
    // Writes the bytes as a single output operation; does not wait for them
    // to leave the port. Raises LinkError on a write error.
    void Output(const QByteArray& bytes);

    // The device that "COMn" names on this platform: on Windows "COMn"; else
    // $QUILLMETER_COM<n> when set, otherwise /dev/ttyACM<n-1>.
    static QString DeviceForPort(int n);

    QSerialPort* port() const { return serial_; }

private:
    QByteArray take();
    QSerialPort* serial_;
    int16_t port_ = 1;
    QString settings_ = QStringLiteral("9600,n,8,1");
    int16_t handshaking_ = 0;
    int16_t inputLen_ = 0;
    int16_t inputMode_ = comInputModeText;
};
