-- sales replication procedures
go
/****** object:  storedprocedure [dbo].[sp_msdel_regions]    script date: 2021-07-10 1:50:50 pm ******/
set ansi_nulls on
go
IF object_id('dbo.[sp_msdel_regions]') IS NOT NULL 
	DROP PROCEDURE dbo.[sp_msdel_regions]
GO
---------------------------
create procedure [dbo].[sp_msdel_regions] @pkc1 int
as
delete "regions"
where "regionid" = @pkc1
/*-D- if @@rowcount = 0
	if @@microsoftversion>0x07320000
		exec sp_msreplraiserror 20598 -D-*/
 
 
go
/* createdate: 08/05/2015 09:01:32.090 , modifydate: 08/05/2015 09:01:32.090 */
go
IF object_id('dbo.[sp_msdel_dbocustomers]') IS NOT NULL 
	DROP PROCEDURE dbo.[sp_msdel_dbocustomers]
GO
---------------------------
create procedure [sp_msdel_dbocustomers]
		@pkc1 int
as
begin
	delete [dbo].[customers]
where [customerid] = @pkc1
/*-D- if @@rowcount = 0
    if @@microsoftversion>0x07320000
        exec sp_msreplraiserror 20598 -D-*/
 
 
end
go
create procedure [sp_msdel_dbonotatable]
		@pkc1 int
as
begin
	delete [dbo].[notatable]
where [id] = @pkc1
if @@rowcount = 0
	return
end
go
/****** object:  storedprocedure [dbo].[sp_msdel_orders]    script date: 2021-07-10 1:50:50 pm ******/
set ansi_nulls on
go
/****** Object:  StoredProcedure [dbo].[ sp_msdel_orders ] ******/
 
IF object_id('dbo.[sp_msdel_orders]') IS NOT NULL 
	DROP PROCEDURE dbo.[sp_msdel_orders]
GO
---------------------------
create procedure [dbo].[sp_msdel_orders] @pkc1 int
as
delete "orders"
where "orderid" = @pkc1
/*-D- if @@rowcount = 0
	if @@microsoftversion>0x07320000
		exec sp_msreplraiserror 20598 -D-*/
 
 
go
set ansi_nulls on
set quoted_identifier on
go
/****** Object:  StoredProcedure [dbo].[ sp_msdel_dboregions ] ******/
 
IF object_id('dbo.[sp_msdel_dboregions]') IS NOT NULL 
	DROP PROCEDURE dbo.[sp_msdel_dboregions]
GO
---------------------------
create procedure dbo.[sp_msdel_dboregions]
		@pkc1 int
as
begin  
	declare @primarykey_text nvarchar(100) = ''
	delete [dbo].[regions] 
	where [id] = @pkc1
/*-D- if @@rowcount = 0
    if @@microsoftversion>0x07320000
		begin
			
			set @primarykey_text = @primarykey_text + '[id] = ' + convert(nvarchar(100),@pkc1,1)
			exec sp_msreplraiserror @errorid=20598, @param1=n'[dbo].[regions]', @param2=@primarykey_text, @param3=13234
		end -D-*/
 
 
end  
go
/* createdate: 02/27/2017 09:49:55.787 , modifydate: 02/27/2017 09:49:55.787 */
go
/****** Object:  StoredProcedure [dbo].[ sp_msdel_dbocustomers_msrepl_ccs ] ******/
 
IF object_id('dbo.[sp_msdel_dbocustomers_msrepl_ccs]') IS NOT NULL 
	DROP PROCEDURE dbo.[sp_msdel_dbocustomers_msrepl_ccs]
GO
---------------------------
create procedure [dbo].[sp_msdel_dbocustomers_msrepl_ccs]
		@pkc1 int
as
begin
	declare @primarykey_text nvarchar(100) = ''
	delete [dbo].[customers]
	where [customerid] = @pkc1
/*-D- if @@rowcount = 0
    if @@microsoftversion>0x07320000
		begin
			if exists (select * from sys.all_parameters where object_id = object_id('sp_msreplraiserror') and [name] = '@param3')
			begin
				set @primarykey_text = @primarykey_text + '[customerid] = ' + convert(nvarchar(100),@pkc1,1)
				exec sp_msreplraiserror @errorid=20598, @param1=n'[dbo].[customers]', @param2=@primarykey_text, @param3=13234
			end
			else
				exec sp_msreplraiserror @errorid=20598
		end -D-*/
 
 
end
go
create procedure [dbo].[sp_msdel_dboaudit_msrepl_ccs]
		@pkc1 int
as
begin
	delete [dbo].[audit]
where [auditid] = @pkc1
end
go
-- end of script
