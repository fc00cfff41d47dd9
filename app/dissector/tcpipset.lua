-- Wireshark and tshark dissector for the datagrams of tcpipset on UDP port 5001: the
-- discovery, query, set and restart requests, and the devices' replies, whose items are
-- walked exactly as tcpipset walks them (protocol/ReplyWalk.cpp), so that a reply the
-- programs drop is the reply marked malformed here, at the byte where they give up.
--
-- Installed by the Debian package in the global Lua plugin folder; from a source build,
-- copy it to ~/.local/lib/wireshark/plugins/ (see `tshark -G folders`).

local PORT = 5001

-- What a receive takes and how large the buffer is that the walk reads: past the bytes
-- received the buffer reads 0, past its end nothing. A discovery reads MAC items; a query
-- and a set read the subnet mask and the gateway.
local DISCOVERY = { name = "discovery", taken = 70, size = 70, reads = { [10] = true } }
local DEVICE = { name = "device", taken = 100, size = 101, reads = { [1] = true, [2] = true } }

local ITEM_MASK, ITEM_GATEWAY, ITEM_MAC, ITEM_RESTART, ITEM_END = 1, 2, 10, 16, 255

local item_names = {
    [ITEM_MASK] = "Subnet mask",
    [ITEM_GATEWAY] = "Gateway",
    [ITEM_MAC] = "MAC address",
    [ITEM_RESTART] = "Restart",
    [ITEM_END] = "End of items",
}
for t = 3, 13 do
    if not item_names[t] then
        item_names[t] = "Stepped over"
    end
end

local proto = Proto("tcpipset", "tcpipset print server protocol")

local f = {
    header = ProtoField.bytes("tcpipset.header", "Header"),
    magic = ProtoField.string("tcpipset.magic", "Magic"),
    selector = ProtoField.string("tcpipset.selector", "Device selector"),
    command = ProtoField.char("tcpipset.command", "Command", base.HEX,
        { [0x4A] = "Query", [0x49] = "Set" }),
    ip = ProtoField.string("tcpipset.ip", "IP address text"),
    item = ProtoField.bytes("tcpipset.item", "Item"),
    item_type = ProtoField.uint8("tcpipset.item.type", "Type", base.DEC, item_names),
    item_length = ProtoField.uint8("tcpipset.item.length", "Length", base.DEC),
    mask = ProtoField.ipv4("tcpipset.mask", "Subnet mask"),
    gateway = ProtoField.ipv4("tcpipset.gateway", "Gateway"),
    mac = ProtoField.ether("tcpipset.mac", "MAC address"),
    restart = ProtoField.uint8("tcpipset.restart", "Restart", base.DEC),
    request_in = ProtoField.framenum("tcpipset.request_in", "Request in", base.NONE,
        frametype.REQUEST),
}
proto.fields = f

local function malformed(abbr, text)
    return ProtoExpert.new("tcpipset.expert." .. abbr, text, expert.group.MALFORMED,
        expert.severity.ERROR)
end

local ex = {
    past_datagram = malformed("past_datagram", "Item runs past the datagram"),
    no_end = malformed("no_end", "No end marker"),
    ends_walk = malformed("ends_walk", "Item type ends the walk"),
    first_zero = malformed("first_zero", "First byte is 0: the reply is not read"),
    too_long = malformed("too_long", "Datagram longer than a reply can be"),
    short_header = malformed("short_header", "Request shorter than its 10-byte header"),
    -- Not a fault of the datagram: what lies past the snap length is unknown, so the walk
    -- stops there without a verdict.
    capture_cut = ProtoExpert.new("tcpipset.expert.capture_cut",
        "Capture cut short here (snap length)", expert.group.UNDECODED, expert.severity.NOTE),
}
proto.experts = ex

local unmatched_choices = { { 1, "device", 1 }, { 2, "discovery", 2 } }
proto.prefs.unmatched = Pref.enum("Walk replies without their request as",
    1, "A reply whose request is not in the capture is walked as a query's (device: 100 "
    .. "bytes read) or a discovery's (70 bytes read)", unmatched_choices, false)

-- The requests seen so far, per sender "address:port", in frame order: a reply goes to
-- the port its request left from and is read by the last request sent from there.
local requests = {}

function proto.init()
    requests = {}
end

local function note_request(pinfo, kind)
    if pinfo.visited then
        return
    end
    local key = tostring(pinfo.src) .. ":" .. pinfo.src_port
    local list = requests[key]
    if not list then
        list = {}
        requests[key] = list
    end
    list[#list + 1] = { frame = pinfo.number, kind = kind }
end

local function request_of(pinfo)
    local list = requests[tostring(pinfo.dst) .. ":" .. pinfo.dst_port]
    if list then
        for i = #list, 1, -1 do
            if list[i].frame < pinfo.number then
                return list[i]
            end
        end
    end
    return nil
end

local function is_ip_char(b)
    return b == 0x2E or (b >= 0x30 and b <= 0x39)
end

local function capture_cut(item, tvb)
    item:add_proto_expert_info(ex.capture_cut, "Capture cut short here (snap length): "
        .. tvb:len() .. " of " .. tvb:reported_len() .. " bytes captured")
end

-- Whether the programs could have sent these bytes: "PTN", then a discovery or query of
-- exactly 10 bytes, or a set or restart whose IP text follows the header. A reply starts
-- with the same header, but its items follow at once. What the capture lacks could be
-- anything.
local function could_be_request(tvb)
    local len, reported = tvb:len(), tvb:reported_len()
    if reported < 10 then
        return false
    end
    if len < 10 then
        return true
    end
    if tvb(0, 3):string() ~= "PTN" then
        return false
    end
    local command = tvb(9, 1):uint()
    if command == 0x4A then
        return reported == 10
    end
    if command == 0x49 and reported > 10 then
        return len == 10 or is_ip_char(tvb(10, 1):uint())
    end
    return false
end

-- Requests go to port 5001 and replies come from it, so the ports tell them apart, except
-- when the workstation itself sits on 5001 (--local-port 5001) and both go from 5001 to
-- 5001. The header cannot tell then either: a reply starts with "PTN", a selector and a
-- command letter too. What was sent before can: such a datagram is a reply when it goes
-- to the address and port that an earlier request left from, or when its bytes cannot be
-- a request; otherwise it is a request. Frame order decides, so every pass agrees.
local function is_reply(tvb, pinfo)
    if pinfo.src_port ~= PORT then
        return false
    end
    if pinfo.dst_port ~= PORT or request_of(pinfo) then
        return true
    end
    return not could_be_request(tvb)
end

local function header(tvb, tree, len)
    local n = math.min(len, 10)
    if n == 0 then
        return
    end
    local sub = tree:add(f.header, tvb(0, n))
    sub:add(f.magic, tvb(0, math.min(n, 3)))
    if n > 3 then
        sub:add(f.selector, tvb(3, math.min(n, 9) - 3))
    end
    if n > 9 then
        sub:add(f.command, tvb(9, 1))
    end
end

-- Requests: header, then for a set or restart the IP text and regular items up to the
-- end marker. Where the capture is shorter than the datagram, the end of the captured
-- bytes is the capture's, not the request's: an item cut there or a missing end marker is
-- no fault.
local function dissect_request(tvb, pinfo, tree)
    local len, reported = tvb:len(), tvb:reported_len()
    local cut = len < reported
    header(tvb, tree, len)
    if len < 10 then
        if cut then
            capture_cut(tree, tvb)
            pinfo.cols.info:set("Request [capture cut short]")
        else
            tree:add_proto_expert_info(ex.short_header)
            pinfo.cols.info:set("Request, short header")
        end
        return
    end
    local selector = tvb(3, 6):string()
    local command = tvb(9, 1):uint()
    if command == 0x4A then
        if selector == "000000" then
            note_request(pinfo, "discovery")
            pinfo.cols.info:set("Discovery request")
        else
            note_request(pinfo, "query")
            pinfo.cols.info:set("Query " .. selector)
        end
        return
    end
    if command ~= 0x49 then
        pinfo.cols.info:set("Request " .. selector .. ", command " .. tvb(9, 1):string())
        return
    end

    local q = 10
    while q < len and is_ip_char(tvb(q, 1):uint()) do
        q = q + 1
    end
    local ip = ""
    if q > 10 then
        ip = tvb(10, q - 10):string()
        tree:add(f.ip, tvb(10, q - 10))
    end

    local restart = false
    local ended = false
    local lost = false
    while q < len do
        local t = tvb(q, 1):uint()
        if t == ITEM_END then
            local it = tree:add(f.item, tvb(q, 1))
            it:add(f.item_type, tvb(q, 1))
            it:set_text("End of items")
            ended = true
            break
        end
        local step = 2
        if q + 1 < len then
            step = 2 + tvb(q + 1, 1):uint()
        end
        local it = tree:add(f.item, tvb(q, math.min(step, len - q)))
        it:set_text((item_names[t] or "Unknown") .. " item")
        it:add(f.item_type, tvb(q, 1))
        if q + step > len then
            if q + 1 < len then
                it:add(f.item_length, tvb(q + 1, 1))
            end
            if q + step > reported then
                it:add_proto_expert_info(ex.past_datagram)
            else
                capture_cut(it, tvb)
                lost = true
            end
            ended = true
            break
        end
        it:add(f.item_length, tvb(q + 1, 1))
        local vlen = step - 2
        if t == ITEM_MASK and vlen == 4 then
            it:add(f.mask, tvb(q + 2, 4))
        elseif t == ITEM_GATEWAY and vlen == 4 then
            it:add(f.gateway, tvb(q + 2, 4))
        elseif t == ITEM_MAC and vlen == 6 then
            it:add(f.mac, tvb(q + 2, 6))
        elseif t == ITEM_RESTART and vlen >= 1 then
            it:add(f.restart, tvb(q + 2, 1))
            restart = true
        end
        q = q + step
    end
    if not ended then
        if cut then
            capture_cut(tree, tvb)
            lost = true
        else
            tree:add_proto_expert_info(ex.no_end)
        end
    end
    note_request(pinfo, restart and "restart" or "set")
    -- The restart item stands last: a capture cut before the end marker may have lost it.
    local what = restart and "Restart " or (lost and "Set or restart " or "Set ")
    pinfo.cols.info:set(what .. selector .. " " .. ip .. (lost and " [capture cut short]" or ""))
end

-- The walk of protocol/ReplyWalk.cpp over the reply buffer. Each item's subtree covers
-- the bytes from its type to where the walk steps next. Bytes received but not captured
-- (past the snap length) read as false: the walk stops at the first it needs, "cut".
local function walk(tvb, tree, received, how)
    local size = how.size
    local captured = math.min(tvb:len(), received)
    local buffer
    -- Bytes the datagram holds are shown in the frame; the zeros past them, which the walk
    -- reads too, in a tab of the reply buffer as the program holds it.
    local function range(o, n)
        if o + n <= captured then
            return tvb(o, n)
        end
        if not buffer then
            local bytes = ByteArray.new()
            if captured > 0 then
                bytes = tvb(0, captured):bytes()
            end
            bytes:set_size(size)
            buffer = bytes:tvb("Reply buffer")
        end
        return buffer(o, n)
    end
    local function byte(o)
        if o >= size then
            return nil
        end
        if o >= received then
            return 0
        end
        if o >= captured then
            return false
        end
        return tvb(o, 1):uint()
    end
    local function missing(o, n)
        return captured < received and o < received and o + n > captured
    end

    local macs = {}
    local p = 9
    local at = 10
    local t = byte(at)
    local where = tree
    while true do
        -- Items that run past the datagram are caught where they step, so a type read
        -- past the received bytes follows an item that ends where the datagram ends.
        if t == false then
            capture_cut(where, tvb)
            return "cut", macs
        end
        if t == nil or (t == 0 and at >= received) then
            where:add_proto_expert_info(ex.no_end,
                "No end marker: the walk reads 0 at offset " .. at)
            return "abort", macs
        end
        if t == 0 or t >= 14 then
            local it = tree:add(f.item, range(at, 1))
            it:add(f.item_type, range(at, 1))
            local why = "Type " .. t .. " ends the walk"
            if t == ITEM_END then
                why = "End marker in place of the first item ends the walk"
            end
            it:set_text(why)
            it:add_proto_expert_info(ex.ends_walk, why .. " (offset " .. at .. ")")
            return "abort", macs
        end

        -- The subnet-mask rule sits one byte further on than the others: that is how the
        -- first item, met with p one byte before its type, is read in its own place.
        local length_at, value_at, count, beyond = p + 1, p + 2, 0, 2
        if t == ITEM_MASK then
            length_at, value_at, count, beyond = p + 2, p + 3, 4, 3
        elseif t == ITEM_GATEWAY then
            count = 4
        elseif t == ITEM_MAC then
            count = 6
        end
        local length = byte(length_at)
        local next_p = length and (p + length + beyond)
        local it = tree:add(f.item, tvb(at, math.min(next_p or captured, captured) - at))
        it:set_text(item_names[t] .. " item at offset " .. at)
        it:add(f.item_type, range(at, 1))
        where = it
        local value_fits = count > 0 and value_at + count <= size
        if count > 0 and not value_fits and how.reads[t] then
            it:add_proto_expert_info(ex.past_datagram,
                "Item runs past the datagram: its value would end at offset "
                .. (value_at + count))
            return "abort", macs
        end
        if length then
            it:add(f.item_length, range(length_at, 1))
        end
        if length == false or (value_fits and missing(value_at, count)) then
            capture_cut(it, tvb)
            return "cut", macs
        end
        -- What the value holds counts even when the length lies past the buffer: the
        -- programs read the value first.
        if value_fits then
            local v = range(value_at, count)
            if t == ITEM_MASK then
                it:add(f.mask, v)
            elseif t == ITEM_GATEWAY then
                it:add(f.gateway, v)
            else
                it:add(f.mac, v)
                macs[#macs + 1] = tostring(v:bytes()):upper()
            end
        end
        if not length then
            it:add_proto_expert_info(ex.past_datagram,
                "Item runs past the datagram: its length would stand at offset " .. length_at)
            return "abort", macs
        end
        if next_p > received then
            it:add_proto_expert_info(ex.past_datagram,
                "Item runs past the datagram: the next item would stand at offset " .. next_p)
            return "abort", macs
        end
        p = next_p
        at = p
        t = byte(at)
        if t == ITEM_END then
            local e = tree:add(f.item, range(at, 1))
            e:add(f.item_type, range(at, 1))
            e:set_text("End of items at offset " .. at)
            return "complete", macs
        end
    end
end

local function dissect_reply(tvb, pinfo, tree)
    local len = tvb:len()
    local request = request_of(pinfo)
    local how = DEVICE
    if request then
        tree:add(f.request_in, request.frame):set_generated()
        if request.kind == "discovery" then
            how = DISCOVERY
        elseif request.kind == "restart" then
            tree:add("A restart reads no reply; walked as a query's"):set_generated()
        end
    elseif proto.prefs.unmatched == 2 then
        how = DISCOVERY
    end
    tree:append_text(", walked as a " .. how.name .. " reply")
    header(tvb, tree, len)

    if len == 0 and tvb:reported_len() > 0 then
        capture_cut(tree, tvb)
        pinfo.cols.info:set("Reply [capture cut short]")
        return
    end
    if len == 0 or tvb(0, 1):uint() == 0 then
        if len == 0 then
            tree:add_proto_expert_info(ex.first_zero)
        else
            tree:add_tvb_expert_info(ex.first_zero, tvb(0, 1))
        end
        pinfo.cols.info:set("Reply, not read: first byte 0")
        return
    end

    local problem
    if tvb:reported_len() > how.taken then
        local why = "Datagram of " .. tvb:reported_len() .. " bytes: a " .. how.name
            .. " reads only its first " .. how.taken
        if len > how.taken then
            tree:add_tvb_expert_info(ex.too_long, tvb(how.taken, len - how.taken), why)
        else
            tree:add_proto_expert_info(ex.too_long, why)
        end
        problem = "longer than " .. how.taken .. " bytes"
    end
    local outcome, macs = walk(tvb, tree, math.min(tvb:reported_len(), how.taken), how)
    if outcome == "abort" then
        problem = "walk ends before an end marker"
    end
    local info = "Reply"
    if #macs > 0 then
        info = info .. " " .. table.concat(macs)
    end
    if problem then
        info = info .. " [malformed: " .. problem .. "]"
    elseif outcome == "cut" then
        info = info .. " [capture cut short]"
    end
    pinfo.cols.info:set(info)
end

function proto.dissector(tvb, pinfo, tree)
    pinfo.cols.protocol:set("TCPIPSET")
    local sub = tree:add(proto, tvb())
    if is_reply(tvb, pinfo) then
        dissect_reply(tvb, pinfo, sub)
    else
        dissect_request(tvb, pinfo, sub)
    end
    return tvb:len()
end

DissectorTable.get("udp.port"):add(PORT, proto)
