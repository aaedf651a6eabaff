// Garmin's FIT SDK (@garmin/fitsdk) on both sides of Strivo's FIT code.
//
//   node fitsdk.mjs SDK_DIR encode OUT_DIR
//     Writes activity files made by the SDK's encoder into OUT_DIR and prints
//     what the SDK's own decoder reads from each:
//       file NAME OTHER_SPORTS
//       run START_UTC_MS OFFSET_MINUTES|- DURATION_MS DISTANCE_CM CALORIES|-
//   node fitsdk.mjs SDK_DIR read FILE...
//     Prints what the SDK's decoder reads from files written elsewhere (real
//     ones), in encode's lines; a race's transitions are no other sport.
//   node fitsdk.mjs SDK_DIR hour FILE [SECONDS]
//     Writes one run of an hour (or SECONDS) with a record every second.
//   node fitsdk.mjs SDK_DIR decode FILE...
//     Prints what the SDK's decoder reads from each file, a line a file:
//       NAME INTEGRITY ERRORS START_UTC_MS LOCAL_START_MS DURATION_MS DISTANCE_CM CALORIES|-
//
// SDK_DIR is the package's folder (npm install --prefix DIR @garmin/fitsdk
// puts it in DIR/node_modules/@garmin/fitsdk).
import fs from "node:fs";
import path from "node:path";
import { pathToFileURL } from "node:url";

const [sdkDir, command, ...args] = process.argv.slice(2);
const { Decoder, Encoder, Profile, Stream } = await import(
    pathToFileURL(path.join(sdkDir, "src", "index.js")).href);

const FIT_EPOCH_MS = Date.UTC(1989, 11, 31);
const RUNNING = "running";

// One activity: [{sport, subSport, start (ms), timerS, elapsedS, metres,
// calories, records}], the offset in minutes or null, developer fields or not.
function encode(sessions, offsetMinutes, withDeveloperField) {
    const key = 0;
    const developer = {
        developerDataIdMesg: { developerDataIndex: 0, applicationVersion: 1 },
        fieldDescriptionMesg: {
            developerDataIndex: 0, fieldDefinitionNumber: 0, fitBaseTypeId: 0x84,  // uint16
            fieldName: "Stride", units: "mm", nativeMesgNum: Profile.MesgNum.RECORD,
        },
    };
    const encoder = new Encoder(withDeveloperField ? { fieldDescriptions: { [key]: developer } } : {});
    const first = sessions[0].start;
    encoder.onMesg(Profile.MesgNum.FILE_ID, {
        type: "activity", manufacturer: "development", product: 7, serialNumber: 1234,
        timeCreated: new Date(first),
    });
    if (withDeveloperField) {
        encoder.onMesg(Profile.MesgNum.DEVELOPER_DATA_ID, developer.developerDataIdMesg);
        encoder.onMesg(Profile.MesgNum.FIELD_DESCRIPTION, developer.fieldDescriptionMesg);
    }
    let end = first;
    sessions.forEach((s, index) => {
        encoder.onMesg(Profile.MesgNum.EVENT, {
            timestamp: new Date(s.start), event: "timer", eventType: "start",
        });
        for (let i = 0; i < s.records; ++i) {
            const record = {
                timestamp: new Date(s.start + i * 1000),
                positionLat: 370000000 + i * 100, positionLong: -1220000000 + i * 90,
                distance: (s.metres * i) / Math.max(1, s.records - 1),
                heartRate: 140 + (i % 20), cadence: 85, altitude: 100 + (i % 7), speed: 2.8,
            };
            if (withDeveloperField) {
                record.developerFields = { [key]: 1100 + (i % 50) };
            }
            encoder.onMesg(Profile.MesgNum.RECORD, record);
        }
        end = s.start + Math.ceil(s.elapsedS ?? s.timerS) * 1000;
        encoder.onMesg(Profile.MesgNum.EVENT, {
            timestamp: new Date(end), event: "timer", eventType: "stopAll",
        });
        const totals = {
            timestamp: new Date(end), startTime: new Date(s.start), sport: s.sport,
            totalElapsedTime: s.elapsedS, totalTimerTime: s.timerS, totalDistance: s.metres,
            totalCalories: s.calories,
        };
        encoder.onMesg(Profile.MesgNum.LAP, { ...totals, messageIndex: index });
        encoder.onMesg(Profile.MesgNum.SESSION, {
            ...totals, messageIndex: index, subSport: s.subSport ?? "generic",
            firstLapIndex: index, numLaps: 1,
        });
    });
    if (offsetMinutes !== null) {
        encoder.onMesg(Profile.MesgNum.ACTIVITY, {
            timestamp: new Date(end), numSessions: sessions.length, type: "manual",
            event: "activity", eventType: "stop",
            localTimestamp: (end - FIT_EPOCH_MS) / 1000 + offsetMinutes * 60,
        });
    }
    return encoder.close();
}

// Raw values: seconds since FIT's epoch, milliseconds, centimetres.
function decode(bytes) {
    const decoder = new Decoder(Stream.fromByteArray(Array.from(bytes)));
    const integrity = decoder.checkIntegrity();
    const { messages, errors } = decoder.read({
        applyScaleAndOffset: false, convertDateTimesToDates: false, mergeHeartRates: false,
        expandComponents: false,
    });
    return { integrity, messages, errors };
}

const fitMs = (seconds) => seconds * 1000 + FIT_EPOCH_MS;
const orDash = (value) => (value === undefined || value === null ? "-" : String(value));

function offsetOf(messages) {
    const activity = (messages.activityMesgs ?? [])[0];
    if (!activity || activity.localTimestamp === undefined) {
        return null;
    }
    return Math.round((activity.localTimestamp - activity.timestamp) / 60);
}

const START = Date.UTC(2024, 4, 18, 22, 5, 9);
const files = {
    "running.fit": () => encode([{
        sport: RUNNING, start: START, timerS: 1834.567, elapsedS: 1900.25, metres: 5032.13,
        calories: 321, records: 120,
    }], 480, true),
    "cycling.fit": () => encode([{
        sport: "cycling", start: START, timerS: 3600, elapsedS: 3700, metres: 30000,
        calories: 700, records: 30,
    }], 120, false),
    "multisport.fit": () => encode([
        { sport: RUNNING, subSport: "treadmill", start: START, elapsedS: 2400.5, metres: 6000.07,
          records: 20 },
        { sport: "cycling", start: START + 3000000, timerS: 1200, elapsedS: 1250, metres: 10000,
          calories: 250, records: 20 },
    ], -300, false),
    "no-activity.fit": () => encode([{
        sport: RUNNING, subSport: "trail", start: START, timerS: 600, elapsedS: 605, metres: 1500,
        calories: 90, records: 10,
    }], null, false),
};

// The lines of encode and read for one file the SDK decoded.
function describe(name, messages) {
    const sessions = (messages.sessionMesgs ?? []).filter((s) => s.sport !== "transition");
    const runs = sessions.filter((s) => s.sport === RUNNING);
    console.log(`file ${name} ${sessions.length - runs.length}`);
    const offset = offsetOf(messages);
    for (const s of runs) {
        console.log(["run", fitMs(s.startTime), orDash(offset),
            s.totalTimerTime ?? s.totalElapsedTime, s.totalDistance,
            orDash(s.totalCalories)].join(" "));
    }
}

if (command === "encode") {
    for (const [name, make] of Object.entries(files)) {
        const bytes = make();
        fs.writeFileSync(path.join(args[0], name), bytes);
        const { messages, errors } = decode(bytes);
        if (errors.length > 0) {
            throw new Error(`${name}: ${errors}`);
        }
        describe(name, messages);
    }
} else if (command === "read") {
    for (const file of args) {
        describe(path.basename(file), decode(fs.readFileSync(file)).messages);
    }
} else if (command === "hour") {
    const seconds = Number(args[1] ?? 3600);
    fs.writeFileSync(args[0], encode([{
        sport: RUNNING, start: START, timerS: seconds, elapsedS: seconds, metres: seconds * 2.8,
        calories: seconds / 6, records: seconds,
    }], 480, true));
} else if (command === "decode") {
    for (const file of args) {
        const { integrity, messages, errors } = decode(fs.readFileSync(file));
        const session = (messages.sessionMesgs ?? [])[0] ?? {};
        const activity = (messages.activityMesgs ?? [])[0] ?? {};
        const localStart = session.startTime + (activity.localTimestamp - activity.timestamp);
        console.log([path.basename(file), integrity ? 1 : 0, errors.length,
            fitMs(session.startTime), fitMs(localStart), session.totalTimerTime,
            session.totalDistance, orDash(session.totalCalories)].join(" "));
    }
} else {
    console.error("usage: node fitsdk.mjs SDK_DIR encode OUT_DIR | read FILE... | hour FILE [SECONDS] | decode FILE...");
    process.exit(2);
}
