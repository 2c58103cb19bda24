// Reads StationXML files with seisplotjs (its own parser, on jsdom's DOM) and prints what it
// understood as JSON: one object per channel epoch, with its network, station, codes,
// dates, coordinates, sensitivity and the poles and zeros of its stages.
//   node parse-stationxml.mjs FILE.xml...
import "global-jsdom/register";
import { readFileSync } from "node:fs";
import { stationxml } from "seisplotjs";

const iso = (d) => (d ? d.toUTC().toISO({ suppressMilliseconds: true }) : null);
const complex = (c) => [c.real(), c.imag()];

const out = [];
for (const file of process.argv.slice(2)) {
    const text = readFileSync(file, "utf8");
    const doc = new DOMParser().parseFromString(text, "application/xml");
    if (doc.getElementsByTagName("parsererror").length > 0) {
        console.error(`${file}: not well-formed`);
        process.exit(2);
    }
    for (const net of stationxml.parseStationXml(doc)) {
        for (const sta of net.stations) {
            for (const ch of sta.channels) {
                const r = ch.response;
                out.push({
                    file,
                    network: net.networkCode,
                    station: sta.stationCode,
                    stationStart: iso(sta.startDate),
                    stationEnd: iso(sta.endDate),
                    stationLatitude: sta.latitude,
                    stationLongitude: sta.longitude,
                    stationElevation: sta.elevation,
                    siteName: sta.name,
                    location: ch.locationCode,
                    channel: ch.channelCode,
                    start: iso(ch.startDate),
                    end: iso(ch.endDate),
                    latitude: ch.latitude,
                    longitude: ch.longitude,
                    elevation: ch.elevation,
                    depth: ch.depth,
                    azimuth: ch.azimuth,
                    dip: ch.dip,
                    sampleRate: ch.sampleRate,
                    sensitivity: r && r.instrumentSensitivity ? r.instrumentSensitivity.sensitivity : null,
                    sensitivityFrequency:
                        r && r.instrumentSensitivity ? r.instrumentSensitivity.frequency : null,
                    inputUnits: r && r.instrumentSensitivity ? r.instrumentSensitivity.inputUnits : null,
                    stages: r
                        ? r.stages.map((s) => ({
                              kind: s.filter ? s.filter.constructor.name : null,
                              gain: s.gain ? s.gain.value : null,
                              gainFrequency: s.gain ? s.gain.frequency : null,
                              normalizationFactor:
                                  s.filter && "normalizationFactor" in s.filter
                                      ? s.filter.normalizationFactor
                                      : null,
                              normalizationFrequency:
                                  s.filter && "normalizationFrequency" in s.filter
                                      ? s.filter.normalizationFrequency
                                      : null,
                              zeros: s.filter && s.filter.zeros ? s.filter.zeros.map(complex) : [],
                              poles: s.filter && s.filter.poles ? s.filter.poles.map(complex) : [],
                          }))
                        : [],
                });
            }
        }
    }
}
process.stdout.write(JSON.stringify(out, null, 1) + "\n");
