// Asks a running station service through seisplotjs's own StationQuery and prints what the
// client understood as JSON: networks with their stations, channel epochs, sensitivity and
// poles and zeros, as far as the level reaches.
//   node query-station.mjs PORT LEVEL [NET [STA [LOC [CHA]]]]
import "global-jsdom/register";
import { fdsnstation, util } from "seisplotjs";

const [port, level, net, sta, loc, cha] = process.argv.slice(2);
// Node's fetch refuses the referrer "seisplotjs" the client sets (it is not a URL).
util.setDefaultFetch((url, init) => {
    const options = { ...(init || {}) };
    delete options.referrer;
    return fetch(url, options);
});

const iso = (d) => (d ? d.toUTC().toISO({ suppressMilliseconds: true }) : null);
const complex = (c) => [c.real(), c.imag()];

const q = new fdsnstation.StationQuery().protocol("http:").host("127.0.0.1").port(Number(port));
if (net) q.networkCode(net);
if (sta) q.stationCode(sta);
if (loc) q.locationCode(loc);
if (cha) q.channelCode(cha);

const query = {
    network: () => q.queryNetworks(),
    station: () => q.queryStations(),
    channel: () => q.queryChannels(),
    response: () => q.queryResponses(),
}[level];

const networks = await query();
const out = networks.map((n) => ({
    network: n.networkCode,
    start: iso(n.startDate),
    end: iso(n.endDate),
    stations: n.stations.map((s) => ({
        station: s.stationCode,
        latitude: s.latitude,
        longitude: s.longitude,
        elevation: s.elevation,
        start: iso(s.startDate),
        end: iso(s.endDate),
        channels: s.channels.map((c) => {
            const r = c.response;
            const sens = r && r.instrumentSensitivity;
            const pz = r && r.stages.length > 0 && r.stages[0].filter;
            return {
                location: c.locationCode,
                channel: c.channelCode,
                start: iso(c.startDate),
                end: iso(c.endDate),
                latitude: c.latitude,
                longitude: c.longitude,
                sensitivity: sens ? sens.sensitivity : null,
                frequency: sens ? sens.frequency : null,
                inputUnits: sens ? sens.inputUnits : null,
                zeros: pz && pz.zeros ? pz.zeros.map(complex) : [],
                poles: pz && pz.poles ? pz.poles.map(complex) : [],
            };
        }),
    })),
}));
// jsdom keeps the event loop alive: end once the answer is written.
process.stdout.write(JSON.stringify(out, null, 1) + "\n", () => process.exit(0));
