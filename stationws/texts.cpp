#include "texts.h"

#include <libxml/entities.h>

#include <initializer_list>
#include <string_view>

namespace orv::stationws {

std::string xmlEscaped(const std::string& text) {
    xmlChar* escaped =
        xmlEncodeSpecialChars(nullptr, reinterpret_cast<const xmlChar*>(text.c_str()));
    if (!escaped)
        return {};
    std::string out(reinterpret_cast<const char*>(escaped));
    xmlFree(escaped);
    return out;
}

const char* const kHelp = R"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>fdsnws-station</title></head>
<body>
<h1>Station web service</h1>
<p>Station metadata and instrument responses of this data centre, in FDSN StationXML 1.2 or
as text, as the FDSN station web service fdsnws-station 1.1 answers.</p>
<ul>
<li><a href="query">query</a>: GET with parameters, or POST with one <code>key=value</code>
per line followed by selection lines <code>NET STA LOC CHA START END</code></li>
<li><a href="version">version</a></li>
<li><a href="application.wadl">application.wadl</a></li>
</ul>
<h2>Parameters</h2>
<table border="1">
<tr><th>Parameter</th><th>Short</th><th>Meaning</th></tr>
<tr><td>starttime, endtime</td><td>start, end</td><td>channel epochs (at level network and
station, stations' dates) overlapping the window (YYYY-MM-DD or
YYYY-MM-DDThh:mm:ss[.ffffff], UTC)</td></tr>
<tr><td>startbefore, startafter, endbefore, endafter</td><td></td><td>epochs that start
before or after, or end before or after, the time (strictly; an open epoch never ends before
anything): channel epochs at level channel and response, the stations' dates at level network
and station</td></tr>
<tr><td>network, station, location, channel</td><td>net, sta, loc, cha</td><td>comma lists of
codes with the wildcards * and ?; -- is the empty location</td></tr>
<tr><td>minlatitude, maxlatitude, minlongitude, maxlongitude</td><td>minlat, maxlat, minlon,
maxlon</td><td>a box of station coordinates, degrees</td></tr>
<tr><td>latitude, longitude, minradius, maxradius</td><td>lat, lon</td><td>a ring of arc degrees
around a point</td></tr>
<tr><td>level</td><td></td><td>network, station (default), channel or response</td></tr>
<tr><td>format</td><td></td><td>xml (default) or text (not at level response)</td></tr>
<tr><td>nodata</td><td></td><td>the status of an empty answer: 204 (default) or 404</td></tr>
<tr><td>includerestricted</td><td></td><td>true or false (nothing here is restricted)</td></tr>
<tr><td>includeavailability, matchtimeseries</td><td></td><td>false only</td></tr>
</table>
<p>Example: <a href="query?net=*&amp;level=network&amp;format=text">query?net=*&amp;level=network&amp;format=text</a></p>
</body></html>
)";

namespace {

// The query's parameters as the WADL lists them.
std::string wadlParameters() {
    std::string params;
    auto param = [&](std::string_view name, std::string_view type, std::string_view extra = {}) {
        params += "        <param name=\"" + std::string(name) + "\" style=\"query\" type=\"" +
                  std::string(type) + "\"";
        if (extra.empty()) {
            params += "/>\n";
        } else {
            params += ">\n" + std::string(extra) + "        </param>\n";
        }
    };
    auto options = [](std::initializer_list<std::string_view> values) {
        std::string out;
        for (std::string_view v : values)
            out += "          <option value=\"" + std::string(v) + "\"/>\n";
        return out;
    };
    for (std::string_view n : {"starttime", "start", "endtime", "end", "startbefore", "startafter",
                               "endbefore", "endafter"})
        param(n, "xs:dateTime");
    for (std::string_view n :
         {"network", "net", "station", "sta", "location", "loc", "channel", "cha"})
        param(n, "xs:string");
    for (std::string_view n : {"minlatitude", "minlat", "maxlatitude", "maxlat", "minlongitude",
                               "minlon", "maxlongitude", "maxlon", "latitude", "lat", "longitude",
                               "lon", "minradius", "maxradius"})
        param(n, "xs:double");
    param("level", "xs:string", options({"network", "station", "channel", "response"}));
    param("format", "xs:string", options({"xml", "text"}));
    param("nodata", "xs:int", options({"204", "404"}));
    param("includerestricted", "xs:boolean", options({"true", "false"}));
    param("includeavailability", "xs:boolean", options({"false"}));
    param("matchtimeseries", "xs:boolean", options({"false"}));
    return params;
}

} // namespace

std::string wadl(const std::string& base) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<application xmlns=\"http://wadl.dev.java.net/2009/02\" "
           "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">\n"
           "  <resources base=\"" +
           xmlEscaped(base) +
           "\">\n"
           "    <resource path=\"query\">\n"
           "      <method name=\"GET\" id=\"query\">\n"
           "        <request>\n" +
           wadlParameters() +
           "        </request>\n"
           "        <response status=\"200\">\n"
           "          <representation mediaType=\"application/xml\"/>\n"
           "          <representation mediaType=\"text/plain\"/>\n"
           "        </response>\n"
           "        <response status=\"204 400 404 413 414 500 503\">\n"
           "          <representation mediaType=\"text/plain\"/>\n"
           "        </response>\n"
           "      </method>\n"
           "      <method name=\"POST\" id=\"postQuery\">\n"
           "        <request>\n"
           "          <representation mediaType=\"text/plain\"/>\n"
           "        </request>\n"
           "        <response status=\"200\">\n"
           "          <representation mediaType=\"application/xml\"/>\n"
           "          <representation mediaType=\"text/plain\"/>\n"
           "        </response>\n"
           "      </method>\n"
           "    </resource>\n"
           "    <resource path=\"version\">\n"
           "      <method name=\"GET\"><response><representation mediaType=\"text/plain\"/>"
           "</response></method>\n"
           "    </resource>\n"
           "    <resource path=\"application.wadl\">\n"
           "      <method name=\"GET\"><response><representation "
           "mediaType=\"application/xml\"/></response></method>\n"
           "    </resource>\n"
           "  </resources>\n"
           "</application>\n";
}

} // namespace orv::stationws
