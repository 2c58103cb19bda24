-- bench/stationws-urls.lua: for wrk (wrk -s bench/stationws-urls.lua URL): each request
-- asks for a path taken at random from the file named by ORV_BENCH_PATHS (one path with
-- its query string a line, "/fdsnws/station/1/query?net=N00&sta=S0001&level=station"),
-- and the answers are counted by status. At the end it prints one line:
--   statuses: 200 N, 204 N, other N
-- (wrk's own "Non-2xx or 3xx responses" counts a 204 as an answer; a bench asking for
-- what the archive holds wants to know how many said "no data").

local paths = {}
for line in io.lines(os.getenv("ORV_BENCH_PATHS")) do
  if line ~= "" then paths[#paths + 1] = line end
end
if #paths == 0 then error("no paths in " .. os.getenv("ORV_BENCH_PATHS")) end

local threads = {}
local next_id = 0

function setup(thread)
  next_id = next_id + 1
  thread:set("id", next_id)
  threads[#threads + 1] = thread
end

ok, nodata, other = 0, 0, 0

function init(args)
  -- Each thread a sequence of its own.
  math.randomseed(os.time() * 1000 + (id or 0) * 7919)
end

function request()
  return wrk.format("GET", paths[math.random(#paths)])
end

function response(status, headers, body)
  if status == 200 then
    ok = ok + 1
  elseif status == 204 then
    nodata = nodata + 1
  else
    other = other + 1
  end
end

function done(summary, latency, requests)
  local a, b, c = 0, 0, 0
  for _, t in ipairs(threads) do
    a = a + t:get("ok")
    b = b + t:get("nodata")
    c = c + t:get("other")
  end
  io.write(string.format("statuses: 200 %d, 204 %d, other %d\n", a, b, c))
end
