// What the command line asks for, as the commands and the fleet read it.
#pragma once

#include <cstddef>
#include <string>

namespace ctl {

// Exit codes, also of a run over many targets (the highest one wins).
constexpr int kExitOk = 0;
constexpr int kExitDiffers = 1; // diff: the sensor's set differs from the file
constexpr int kExitFailed = 2;  // a sensor, the link, a file or the broker failed
constexpr int kExitUsage = 3;   // the command line is wrong

// The options that belong to commands; each command names those it takes.
enum Option : unsigned {
    kOutput = 1u << 0,               // -o FILE
    kEeprom = 1u << 1,               // --eeprom
    kInterval = 1u << 2,             // --interval S
    kCount = 1u << 3,                // --count N
    kForce = 1u << 4,                // --force
    kFamily = 1u << 5,               // --family NAME
    kTemp = 1u << 6,                 // --temp DEGREES
    kBroker = 1u << 7,               // --broker URL
    kTopic = 1u << 8,                // --topic PREFIX
    kQueue = 1u << 9,                // --queue N
    kAllowWrapped = 1u << 10,        // --allow-wrapped
    kConfig = 1u << 11,              // --config FILE
    kCheck = 1u << 12,               // --check FILE
    kReconnectMax = 1u << 13,        // --reconnect-max S
    kUsername = 1u << 14,            // --username NAME
    kPasswordFile = 1u << 15,        // --password-file FILE
    kCaFile = 1u << 16,              // --cafile FILE
    kCert = 1u << 17,                // --cert FILE
    kKey = 1u << 18,                 // --key FILE
    kClientId = 1u << 19,            // --client-id ID
    kConnectionPerTarget = 1u << 20, // --connection-per-target
};

// What one broker connection lets wait unconfirmed (libmosquitto's limit here).
constexpr int kMostQueued = 60000;

struct Request {
    std::string command; // version, get, send, diff, watch, record, transfer, publish
    std::string file;    // send, diff, transfer: the file read; get, record: the file written
    bool eeprom = false;
    double interval = 0.0;     // watch, record, publish: seconds from one request to the next
    long count = 0;            // watch, record, publish: samples per sensor, 0 = until stopped
    std::string family;        // transfer: overrides the family the version names
    int temp = -1;             // transfer: reference temperature 0..99
    bool allowWrapped = false; // transfer: write factors that cannot be right all the same
    std::string broker;        // publish
    std::string topic;         // publish: topic prefix
    // publish: the broker options, as the gateway's [broker] has them
    std::string username, passwordFile, caFile, certFile, keyFile, clientId;
    int queue = 1000;                 // publish: samples that may wait for the broker, per sensor
    bool connectionPerTarget = false; // publish: a broker connection per target instead of one for all
    std::size_t targets = 1;          // how many targets the run serves
    double reconnectMax = 10.0; // watch, record, publish: longest pause between attempts to connect, seconds
    bool force = false;         // record: replace an existing file
    std::string trace;          // a link trace file per sensor, "" = none
    std::string config;         // gateway: its configuration file
    bool check = false;         // gateway: check the file only
};

} // namespace ctl
