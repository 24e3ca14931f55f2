// The built-in RID texts. The defaults and the Brenlo mimic describe the same keys; they differ
// only in the settings a Brenlo federation expects (commented where they differ).
#include "rid_texts.h"

namespace brindle {

const char rid_templates_text[] = R"rid(
; Connectivity paths: each macro expands, where a provider names it, into the order of the
; transport nodes a message passes through, from the sender's side down to the wire.
(
  MULTICAST_PATH { (order bundler fragment_reassembly rate_limit comms_status udp_multicast) }
  UDP_PATH { (order multicast_emulation roundtrip_latency bundler fragment_reassembly rate_limit
                    packet_loss comms_status udp_connection) }
  UDPCMP_PATH { (order multicast_emulation roundtrip_latency bundler compressor
                       fragment_reassembly rate_limit packet_loss comms_status udp_connection) }
  TCP_PATH { (order multicast_emulation roundtrip_latency bundler comms_status tcp_connection) }
  TCPCMP_PATH { (order multicast_emulation roundtrip_latency bundler compressor comms_status
                       tcp_connection) }
  HTTP_PATH { (order multicast_emulation roundtrip_latency bundler comms_status http_node) }
  LOCAL_PATH { (order multicast_emulation fragment_reassembly comms_status local_connection) }
  NULL_PATH { (order crossover_node) }
)
)rid";

const char rid_defaults_text[] = R"rid(
; Built-in defaults. A user's RID file overrides them group by group: a group that the file
; lacks is taken from here whole, while an entry missing from a group the file has is not.
(rti
  (version D22)                       ; the RID release this text is written for

  ; Settings that every federate of a federation must share; their checksum is compared
  ; when a federate joins.
  (federation_parameters
    (routing_spaces)                  ; how FED routing spaces map onto streams; a space not
                                      ; described here gets a single stream of its own
      ; Entries, each named by its FED space:
      ;   (Sea (type broadcast))        every region's traffic on stream 2
      ;   (Air (type simple))           one stream for the whole space
      ;   (Geo (type gridded)           one stream per grid cell, then a broadcast stream
      ;     (bounds (X (domain 0 100)) (Y (domain -50 50)))   ; per FED dimension, default 0 1
      ;     (grid main (X (range 0 100) (size 4)) (Y (range -50 50) (size 4)))
      ;     (grid harbour (X (range 10 20) (size 8)) (Y (range 0 10) (size 8)))
      ;     (warn_when_broadcasting true))   ; say so when a send spans several cells
      ; Ranges are in domain units (a missing one is the whole domain, a missing size 1 cell).
      ; An extent inside a later grid uses that grid's cells alone; a send touching more than
      ; one cell goes to the broadcast stream, which every subscriber of the space joins.

    (connectivity_providers
      (multicast MULTICAST_PATH       ; the nodes a multicast message passes through
        (packet_size 1448)            ; largest packet sent, in bytes
        (ratelimit_max_mbps 75.0)     ; sending rate cap, megabits per second
        (fragment_timeout 3000)       ; milliseconds to wait for the rest of a fragmented message
        (bundle_timeout 100)          ; milliseconds a small message may wait to share a packet
        (bundle_flush_threshold 128)  ; a bundle with fewer free bytes than this goes out at once
        (socket_poll_interval 10)     ; milliseconds between looks at the receive sockets
        (base_address "224.22.0.0")   ; first multicast group address
        (port 7206)                   ; UDP port the groups are sent to
        (ttl 32)))                    ; how many router hops a multicast packet may take

    (transport_types
      (best_effort
        (type "simple")               ; one message service carries this transport
        (suppress_dups false)         ; duplicated updates are still reflected
        (implicit_transfer false)     ; ownership never moves without being asked for
        (message_service "best_effort") ; packets may be lost and are not resent
        (message_priority 0x00)       ; lowest sending priority
        (use_low_latency false))      ; bundle messages for bandwidth rather than send at once
      (reliable
        (type "simple")               ; one message service carries this transport
        (suppress_dups false)         ; duplicated updates are still reflected
        (implicit_transfer false)     ; ownership never moves without being asked for
        (message_service "reliable")  ; lost packets are asked for again
        (message_priority 0x3f)       ; highest sending priority
        (use_low_latency false)))     ; bundle messages for bandwidth rather than send at once

    (subscriptions
      (region_sub_gets_nonregion true)  ; a region subscription also hears sends without a region
      (nonregion_sub_gets_region true)  ; a class subscription also hears sends with a region
      (validate_regions true)           ; region handles given to services are checked
      (force_static_spaces true)        ; space associations are checked against the FED
      (one_byclass_stream false))       ; each class keeps its own stream for sends without a region

    (updates
      (sort_attributes true)          ; attributes of an update are ordered by size
      (pass_times false)              ; messages not in time-stamp order carry no time
      (perfect_filter true)           ; received updates are filtered exactly by region
      (send_trans_attrs false))       ; an update lists only the attributes it changes

    (objects
      (deletion_memory_length 5000)   ; how long a deleted object's name is remembered
      (creation_announcements true))  ; other federates are told when an object is created

    (queries
      (bundle_query_timeout 100)      ; milliseconds during which queries are gathered into one
      (query_backoff_window 100))     ; longest random wait before asking for an update

    (federation
      (heartbeat_interval 5)          ; seconds between a federate's heartbeats
      (join_timeout 6)                ; seconds to listen for other federates before joining
      (federate_amber_timeout 12)     ; seconds of silence before a federate turns amber
      (federate_red_timeout 30)       ; seconds of silence before a federate turns red
      (federate_gone_timeout 60))     ; seconds of silence before a federate counts as gone

    ; Each service group is switched off by the word disabled.
    (disable
      (syncpoints enabled)            ; synchronization points
      (saverestore enabled)           ; save and restore
      (queries enabled)               ; requests for attribute updates
      (ownership enabled)             ; ownership transfers
      (timeadvance enabled)           ; time regulation, constraint and advances
      (regions enabled)))             ; regions

  ; Settings each federate may choose for itself.
  (federate_parameters
    (connectivity
      (default_uplink "multicast")    ; the connectivity provider used when none is named
      (default_server "unnecessary")  ; server to reach, for providers that need one
      (network_device "")             ; network device to send through; empty for the default
      (interface "127.0.0.1")         ; IPv4 address of the interface multicast goes through;
                                      ; the loopback keeps a federation on this host
      (receive_buffer_size 512)       ; kernel receive buffer of a socket, kilobytes
      (send_buffer_size 512)          ; kernel send buffer of a socket, kilobytes
      (connectivity_map)              ; file saying which federates connect to which; none
      (spawn_router false))           ; routers run inside the federate, not as own processes

    (management_objects
      (mom_interval 10))              ; milliseconds a management object waits at least
                                      ; between refreshes; the agent steps once a second, so
                                      ; any value under 1000 refreshes every object each second

    (virtual_terminal
      (accept_connections true))      ; the diagnostics console accepts terminals

    (console                          ; the diagnostics console's own settings
      (listen_address "127.0.0.1")    ; address the telnet listener binds; another than the
                                      ; loopback lets anyone who reaches it shut the
                                      ; federation down, and is warned about
      (telnet_port 2323)              ; first port tried; taken ports move it up, at most 99
      (local_keyboard false))         ; whether the console reads the process's own terminal

    (remote_terminal
      (accept "loopback"))            ; whether other federates may connect to this console:
                                      ; "on", "off", or "loopback": on only while the
                                      ; connectivity interface is a loopback address

    (ordering
      (queue_warning_length 100000))  ; messages a delivery queue may hold before it warns,
                                      ; once, that delivery is falling behind; none is dropped

    (time
      (join_state_wait 3000))         ; milliseconds a newly joined federate waits, at most, to
                                      ; hear every other federate's time state before it grants

    (ownership
      (query_timeout 5000)            ; milliseconds an ownership query waits for an owner's
                                      ; answer before it reports the attribute floating
      (failover_claim_window 30000)   ; milliseconds within which, at random, a federate claims
                                      ; an object whose owner fell silent
      (takeover_delay 10000)          ; milliseconds from a claim to the takeover, at least,
      (takeover_spread 10000))        ; plus up to this many at random

    (debug_flags)                     ; names of the debugging events on from the start
    (workarounds)                     ; federates known to lack certain abilities
    (plugins)))                       ; plug-in modules loaded at start
)rid";

const char rid_brenlo_mimic_text[] = R"rid(
; What a translated Brenlo file starts from: the defaults, except for the settings marked
; "differs", which a Brenlo federation expects. The translation then adds the file's routing
; spaces and its choice of receiver-side filtering.
(rti
  (version D22)
  (federation_parameters
    (routing_spaces)
    (connectivity_providers
      (multicast MULTICAST_PATH
        (packet_size 1448)
        (ratelimit_max_mbps 75.0)
        (fragment_timeout 3000)
        (bundle_timeout 100)
        (bundle_flush_threshold 128)
        (socket_poll_interval 10)
        (base_address "224.11.0.0")   ; differs
        (port 2008)                   ; differs
        (ttl 32)))
    (transport_types
      (best_effort
        (type "simple")
        (suppress_dups false)
        (implicit_transfer false)
        (message_service "best_effort")
        (message_priority 0x00)
        (use_low_latency false))
      (reliable
        (type "simple")
        (suppress_dups false)
        (implicit_transfer false)
        (message_service "best_effort") ; differs
        (message_priority 0x00)         ; differs
        (use_low_latency false)))
    (subscriptions
      (region_sub_gets_nonregion true)
      (nonregion_sub_gets_region true)
      (validate_regions true)
      (force_static_spaces true)
      (one_byclass_stream true))      ; differs
    (updates
      (sort_attributes false)         ; differs
      (pass_times false)
      (perfect_filter true)
      (send_trans_attrs false))
    (objects
      (deletion_memory_length 5000)
      (creation_announcements false)) ; differs
    (queries
      (bundle_query_timeout 1000)     ; differs
      (query_backoff_window 1000))    ; differs
    (federation
      (heartbeat_interval 5)
      (join_timeout 6)
      (federate_amber_timeout 12)
      (federate_red_timeout 30)
      (federate_gone_timeout 60))
    (disable                          ; services a Brenlo federation does without
      (syncpoints disabled)
      (saverestore disabled)
      (queries enabled)
      (ownership disabled)
      (timeadvance disabled)
      (regions enabled)))
  (federate_parameters
    (connectivity
      (default_uplink "multicast")
      (default_server "unnecessary")
      (network_device "")
      (interface "127.0.0.1")
      (receive_buffer_size 512)
      (send_buffer_size 512)
      (connectivity_map)
      (spawn_router false))
    (management_objects
      (mom_interval 10))
    (virtual_terminal
      (accept_connections true))
    (console
      (listen_address "127.0.0.1")
      (telnet_port 2323)
      (local_keyboard false))
    (remote_terminal
      (accept "loopback"))
    (ordering
      (queue_warning_length 100000))
    (time
      (join_state_wait 3000))
    (ownership
      (query_timeout 5000)
      (failover_claim_window 30000)
      (takeover_delay 10000)
      (takeover_spread 10000))
    (debug_flags)
    (workarounds)
    (plugins)))
)rid";

}  // namespace brindle
